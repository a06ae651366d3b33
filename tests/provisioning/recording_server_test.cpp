#include <gtest/gtest.h>

#include <chrono>

#include "provisioning/local_address.h"
#include "provisioning/recording_server.h"

namespace {

using std::chrono::seconds;

TEST(LocalAddress, TheDevicesRouteGivesTheAddressToUploadTo) {
    EXPECT_EQ(provisioning::_getLocalIp("127.0.0.1"), "127.0.0.1");
    EXPECT_EQ(provisioning::addressRoutingTo("127.0.0.2"), "127.0.0.1");
}

TEST(LocalAddress, AnAddressThatIsNoIpv4FallsBackToTheHostName) {
    EXPECT_EQ(provisioning::addressRoutingTo("not an address"), "");
    EXPECT_EQ(provisioning::addressRoutingTo(""), "");
    EXPECT_EQ(provisioning::_getLocalIp("device.local"), provisioning::_getLocalIp(""));
}

TEST(LocalAddress, Ipv4TextIsRecognised) {
    EXPECT_TRUE(provisioning::isIpv4Address("192.168.1.7"));
    EXPECT_FALSE(provisioning::isIpv4Address("192.168.1"));
    EXPECT_FALSE(provisioning::isIpv4Address("192.168.1.256"));
    EXPECT_FALSE(provisioning::isIpv4Address(" 192.168.1.7"));
    EXPECT_FALSE(provisioning::isIpv4Address("::1"));
}

TEST(FirewallHint, ComesAMinuteAfterTheRecordTime) {
    EXPECT_EQ(provisioning::noConnectionHintDelay("30"), seconds(90));
    EXPECT_EQ(provisioning::noConnectionHintDelay("0"), seconds(60));
    EXPECT_EQ(provisioning::noConnectionHintDelay("abc"), seconds(60));
    EXPECT_EQ(provisioning::noConnectionHintDelay("-5"), seconds(60));
}

TEST(FirewallHint, NamesTheAddressAndThePort) {
    const std::string hint = provisioning::noConnectionHint("192.168.1.7");
    EXPECT_NE(hint.find("192.168.1.7"), std::string::npos);
    EXPECT_NE(hint.find("TCP port 8888"), std::string::npos);
    EXPECT_NE(hint.find("firewall"), std::string::npos);
}

}  // namespace

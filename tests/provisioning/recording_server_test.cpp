#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "provisioning/local_address.h"
#include "provisioning/recording_server.h"

namespace {

using std::chrono::seconds;

TEST(LocalAddress, TheDevicesRouteGivesTheAddressToUploadTo) {
    EXPECT_EQ(quorvane::provisioning::_getLocalIp("127.0.0.1"), "127.0.0.1");
    EXPECT_EQ(quorvane::provisioning::addressRoutingTo("127.0.0.2"), "127.0.0.1");
}

// A device that reports no address, or one without a route to it, is told
// an address of this computer's host name all the same.
TEST(LocalAddress, AnAddressThatIsNoIpv4FallsBackToTheHostName) {
    EXPECT_EQ(quorvane::provisioning::addressRoutingTo("not an address"), "");
    EXPECT_EQ(quorvane::provisioning::addressRoutingTo(""), "");
    EXPECT_EQ(quorvane::provisioning::_getLocalIp("device.local"), quorvane::provisioning::_getLocalIp(""));

    const struct {
        const char* device;
        const char* routed;
        std::vector<std::string> hostName;
        const char* told;
    } cases[] = {
        {"", "192.168.9.9", {"192.168.1.7"}, "192.168.1.7"},
        {"", "", {"127.0.1.1", "192.168.1.7", "10.0.0.2"}, "192.168.1.7"},
        {"", "", {"127.0.1.1"}, "127.0.1.1"},
        {"", "", {}, ""},
        {"device.local", "172.16.0.1", {"10.0.0.2"}, "10.0.0.2"},
        {"192.168.1.20", "", {"127.0.1.1", "10.0.0.2"}, "10.0.0.2"},
        {"192.168.1.20", "192.168.1.7", {"10.0.0.2"}, "192.168.1.7"},
    };
    for (const auto& lookup : cases) {
        SCOPED_TRACE(std::string(lookup.device) + " routed via " + lookup.routed);
        std::vector<std::string> asked;
        const quorvane::provisioning::AddressLookups lookups{[&](const std::string& device) {
                                                                 asked.push_back(device);
                                                                 return std::string(lookup.routed);
                                                             },
                                                             [&] { return lookup.hostName; }};
        EXPECT_EQ(quorvane::provisioning::localIpWith(lookup.device, lookups), lookup.told);
        const bool routable = quorvane::provisioning::isIpv4Address(lookup.device);
        EXPECT_EQ(asked, routable ? std::vector<std::string>{lookup.device} : std::vector<std::string>{});
    }
}

// Strangers are told from the device only on a network this computer is
// attached to; loopback is this computer's own.
TEST(LocalAddress, ADeviceOnANetworkOfThisComputerIsToldByItsAddress) {
    using quorvane::provisioning::AttachedNetwork;
    const std::vector<AttachedNetwork> networks = {
        {0xC0A80107, 0xFFFFFF00},  // 192.168.1.7/24
        {0x0A010203, 0xFF000000},  // 10.1.2.3/8
        {0xAC100505, 0xFFFFFFFF},  // 172.16.5.5/32
        {0x08080808, 0x00000000},  // a mask of nothing, which is no network
    };
    const struct {
        const char* address;
        bool attached;
    } cases[] = {
        {"192.168.1.20", true},  {"192.168.1.255", true},
        {"192.168.2.20", false}, {"10.200.0.1", true},
        {"11.0.0.1", false},     {"172.16.5.5", true},
        {"172.16.5.6", false},   {"127.0.0.1", true},
        {"127.1.2.3", true},     {"128.0.0.1", false},
        {"192.0.2.10", false},   {"8.8.4.4", false},
        {"device.local", false}, {"", false},
    };
    for (const auto& device : cases) {
        SCOPED_TRACE(device.address);
        EXPECT_EQ(quorvane::provisioning::onAttachedNetwork(device.address, networks), device.attached);
    }
    EXPECT_TRUE(quorvane::provisioning::onAttachedNetwork("127.0.0.1", {}));
    EXPECT_FALSE(quorvane::provisioning::onAttachedNetwork("192.168.1.20", {}));
}

// The system's list of this computer's networks holds its loopback network,
// 127.0.0.1/8.
TEST(LocalAddress, TheAttachedNetworksIncludeLoopback) {
    const quorvane::provisioning::AttachedNetworks attached = quorvane::provisioning::attachedNetworks();
    ASSERT_EQ(attached.error, 0);
    std::vector<std::uint32_t> loopbackMasks;
    for (const auto& network : attached.networks) {
        if (network.address == 0x7F000001) {
            loopbackMasks.push_back(network.mask);
        }
    }
    EXPECT_EQ(loopbackMasks, std::vector<std::uint32_t>{0xFF000000});
}

TEST(LocalAddress, Ipv4TextIsRecognised) {
    EXPECT_TRUE(quorvane::provisioning::isIpv4Address("192.168.1.7"));
    EXPECT_FALSE(quorvane::provisioning::isIpv4Address("192.168.1"));
    EXPECT_FALSE(quorvane::provisioning::isIpv4Address("192.168.1.256"));
    EXPECT_FALSE(quorvane::provisioning::isIpv4Address(" 192.168.1.7"));
    EXPECT_FALSE(quorvane::provisioning::isIpv4Address("::1"));
}

TEST(LocalAddress, OnlyUnicastIpv4IsADevicesAddress) {
    const struct {
        const char* text;
        bool device;
    } cases[] = {
        {"192.168.1.7", true},
        {"10.0.0.5", true},
        {"172.16.0.1", true},
        {"169.254.10.20", true},
        {"127.0.0.1", true},
        {"1.0.0.0", true},
        {"223.255.255.255", true},
        {"0.0.0.0", false},
        {"0.1.2.3", false},
        {"224.0.0.0", false},
        {"239.255.255.250", false},
        {"240.0.0.1", false},
        {"255.255.255.255", false},
        {"", false},
        {"device.local", false},
        {"192.168.1", false},
        {"192.168.1.256", false},
        {" 192.168.1.7", false},
        {"::ffff:192.168.1.7", false},
    };
    for (const auto& entry : cases) {
        SCOPED_TRACE(entry.text);
        EXPECT_EQ(quorvane::provisioning::isDeviceAddress(entry.text), entry.device);
    }
}

TEST(FirewallHint, ComesAMinuteAfterTheRecordTime) {
    EXPECT_EQ(quorvane::provisioning::noConnectionHintDelay("30"), seconds(90));
    EXPECT_EQ(quorvane::provisioning::noConnectionHintDelay("0"), seconds(60));
    EXPECT_EQ(quorvane::provisioning::noConnectionHintDelay("abc"), seconds(60));
    EXPECT_EQ(quorvane::provisioning::noConnectionHintDelay("-5"), seconds(60));
}

TEST(FirewallHint, NamesTheAddressAndThePort) {
    const std::string hint = quorvane::provisioning::noConnectionHint("192.168.1.7");
    EXPECT_NE(hint.find("192.168.1.7"), std::string::npos);
    EXPECT_NE(hint.find("TCP port 8888"), std::string::npos);
    EXPECT_NE(hint.find("firewall"), std::string::npos);
}

}  // namespace

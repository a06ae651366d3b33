#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run/command_line.h"
#include "run/port_argument.h"
#include "run/run_config.h"

namespace {

class StoredArguments : public ::testing::Test {
protected:
    void store(const std::vector<std::string>& arguments) { storeRunArguments(arguments); }
};

TEST_F(StoredArguments, FourArgumentsAreStoredAsTypedWithoutChannel3) {
    store({"My Net", "pass word", "12", "30"});
    EXPECT_EQ(g_wifiSsid, "My Net");
    EXPECT_EQ(g_wifiPassword, "pass word");
    EXPECT_EQ(g_comPort, "12");
    EXPECT_EQ(g_recordTime, "30");
    EXPECT_FALSE(g_convertCh3);
}

TEST_F(StoredArguments, FifthArgumentCountsWhenAtoiGivesOne) {
    for (const char* fifth : {"1", "01", "1x", " 1"}) {
        store({"n", "p", "3", "30", fifth});
        EXPECT_TRUE(g_convertCh3) << "fifth argument '" << fifth << "'";
    }
    for (const char* fifth : {"2", "0", "x1", "", "-1"}) {
        store({"n", "p", "3", "30", fifth});
        EXPECT_FALSE(g_convertCh3) << "fifth argument '" << fifth << "'";
    }
}

TEST_F(StoredArguments, FifthArgumentIsIgnoredWhenNotTheLast) {
    store({"n", "p", "3", "30", "1", "extra"});
    EXPECT_FALSE(g_convertCh3);
}

TEST_F(StoredArguments, PositiveComNumbersAreAccepted) {
    for (const char* port : {"1", "8", "9", "12", "007", "255"}) {
        store({"n", "p", port, "30"});
        EXPECT_EQ(runArgumentsProblem(), "") << "port '" << port << "'";
    }
}

TEST_F(StoredArguments, PortThatIsNoNumberIsRefusedByName) {
    for (const char* port : {"0", "-3", "COM3", "3a", "", " 3", "99999999999"}) {
        store({"n", "p", port, "30"});
        const std::string problem = runArgumentsProblem();
        EXPECT_NE(problem.find(std::string("\"") + port + "\""), std::string::npos)
            << "port '" << port << "' gave: " << problem;
    }
}

TEST_F(StoredArguments, DevicePathsAreAcceptedWhereTheSystemHasThem) {
    store({"n", "p", "/dev/ttyUSB0", "30"});
    EXPECT_EQ(runArgumentsProblem().empty(), acceptsDevicePaths());
    EXPECT_EQ(portArgumentIsDevicePath("/dev/ttyUSB0"), acceptsDevicePaths());
}

TEST_F(StoredArguments, LineBreaksThatCouldInjectACommandAreRefused) {
    store({"net\r\nlisten upload_record start", "p", "3", "30"});
    EXPECT_NE(runArgumentsProblem().find("network name"), std::string::npos);
    store({"n", "pass\nlisten heart_beat", "3", "30"});
    EXPECT_NE(runArgumentsProblem().find("pass phrase"), std::string::npos);
    store({"n", "p", "3", "30\r"});
    EXPECT_NE(runArgumentsProblem().find("record time"), std::string::npos);
}

TEST_F(StoredArguments, ThePassPhraseIsNeverEchoedInAProblem) {
    store({"n", "s3cret\nx", "3", "30"});
    EXPECT_EQ(runArgumentsProblem().find("s3cret"), std::string::npos);
}

TEST_F(StoredArguments, BlanksStayAllowed) {
    store({" my net ", " a b ", "3", " 30 "});
    EXPECT_EQ(runArgumentsProblem(), "");
}

TEST(PortLabel, NumbersGetTheComPrefixAndPathsStayAsTyped) {
    EXPECT_EQ(portLabel("12"), "COM12");
    EXPECT_EQ(portLabel("/dev/ttyACM0"), acceptsDevicePaths() ? "/dev/ttyACM0" : "COM/dev/ttyACM0");
}

}  // namespace

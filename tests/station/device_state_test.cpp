#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "station/device_state.h"

namespace quorvane::station {
namespace {

TEST(FolderNameForPort, EachSystemsSpellingBecomesANameSafeOnBoth) {
    struct Case {
        std::string port;
        std::string folder;
    };
    const Case cases[] = {
        {"/dev/ttyUSB0", "ttyUSB0"},
        {"/dev/pts/3", "pts-3"},
        {"/3", "3"},
        {"/dev/serial/by-id/usb-FTDI_X-if00-port0", "usb-FTDI_X-if00-port0"},
        {"\\\\.\\COM10", "COM10"},
        {"COM10", "COM10"},
        {"ttyACM1", "ttyACM1"},
        // A bare number is a COM port on Windows.
        {"3", "COM3_"},
        {"12", "COM12"},
        {"/dev/3", "dev-3"},
        // Names Windows keeps for devices, in any case and with any ending.
        {"COM3", "COM3_"},
        {"\\\\.\\COM3", "COM3_"},
        {"com9", "com9_"},
        {"COM0", "COM0_"},
        {"LPT1", "LPT1_"},
        {"nul", "nul_"},
        {"CON", "CON_"},
        {"aux.log", "aux_.log"},
        {"PRN.a.b", "PRN_.a.b"},
        {"CONSOLE", "CONSOLE"},
        {"COMX", "COMX"},
        {"COM33", "COM33"},
        // Characters outside [A-Za-z0-9._-], byte by byte.
        {"/dev/my port:1", "my_port_1"},
        {"caf\xC3\xA9", "caf__"},
        {"a*b?c|d\"e<f>", "a_b_c_d_e_f_"},
        // Windows drops dots at the end of a name.
        {"COM3.", "COM3_"},
        {"port..", "port__"},
        {"...", "___"},
        {"", "port"},
        {".", "port"},
        {"..", "port"},
        {"/dev/", "port"},
        {"C:\\ports\\", "port"},
        {std::string(200, 'x'), std::string(120, 'x')},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.port);
        EXPECT_EQ(folderNameForPort(c.port), c.folder);
    }
}

TEST(FolderNameForPort, PortsWithTheSameNameGetNumberedFolders) {
    struct Case {
        const char* name;
        std::vector<std::string> ports;
        std::vector<std::string> folders;
    };
    const Case cases[] = {
        {"distinct", {"/dev/ttyUSB0", "/dev/ttyUSB1", "COM4"}, {"ttyUSB0", "ttyUSB1", "COM4_"}},
        {"one port twice", {"COM3", "\\\\.\\COM3", "3"}, {"COM3_", "COM3_-2", "COM3_-3"}},
        // Windows folders compare without letter case.
        {"letter case", {"/dev/ttyUSB0", "/tmp/TTYUSB0"}, {"ttyUSB0", "TTYUSB0-2"}},
        {"a numbered name taken", {"a", "a-2", "a"}, {"a", "a-2", "a-3"}},
        {"empty names", {"", "."}, {"port", "port-2"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(uniqueFolderNames(c.ports), c.folders);
    }
}

recording::ChannelLevels verdict(recording::Verdict verdict, int sameAs = 0) {
    recording::ChannelLevels levels;
    levels.verdict = verdict;
    levels.sameAsChannel = sameAs;
    return levels;
}

TEST(DeviceState, OutcomeAndChannelsNotOkAsTheUserReadsThem) {
    DeviceState running;
    running.stage = DeviceStage::Uploading;
    DeviceState stored;
    stored.stage = DeviceStage::Ended;
    stored.stored = true;
    stored.summary.emplace();
    DeviceState warned = stored;
    warned.summary->channels[1].levels = verdict(recording::Verdict::Silent);
    warned.summary->channels[2].levels = verdict(recording::Verdict::SameAsChannel, 1);
    warned.summary->channels[3].levels = verdict(recording::Verdict::Ok);
    DeviceState failed;
    failed.stage = DeviceStage::Ended;
    failed.failureReason = "the device did not join the network";
    DeviceState failedWithoutReason = failed;
    failedWithoutReason.failureReason.clear();
    struct Case {
        const char* name;
        const DeviceState& device;
        const char* outcome;
        const char* channels;
        bool failed;
    };
    const Case cases[] = {
        {"not ended", running, "uploading", "", true},
        {"stored", stored, "ok", "", false},
        {"stored with warnings", warned, "ok", "ch2 silent, ch3 same as channel 1", true},
        {"failed", failed, "failed: the device did not join the network", "", true},
        {"failed, no reason", failedWithoutReason, "failed", "", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(outcomeText(c.device), c.outcome);
        EXPECT_EQ(channelsNotOk(c.device), c.channels);
        EXPECT_EQ(deviceFailed(c.device), c.failed);
    }
}

}  // namespace
}  // namespace quorvane::station

#include <gtest/gtest.h>

#include "device_emulator/options.h"

namespace {

using quorvane::emulator::Milliseconds;
using quorvane::emulator::parseCommandLine;
using quorvane::emulator::ParsedCommandLine;
using quorvane::emulator::WifiReplyMode;

ParsedCommandLine parse(std::vector<std::string> arguments) {
    return parseCommandLine(arguments);
}

TEST(EmulatorOptions, DefaultsServeTheDemo) {
    const ParsedCommandLine parsed = parse({});
    ASSERT_EQ(parsed.error, "");
    EXPECT_FALSE(parsed.helpRequested);
    EXPECT_EQ(parsed.options.serial.wifiReplyMode, WifiReplyMode::Success);
    EXPECT_EQ(parsed.options.serial.wifiIp, "127.0.0.1");
    EXPECT_EQ(parsed.options.serial.answerEvery, 1u);
    EXPECT_EQ(parsed.options.upload.port, 8888);
    EXPECT_FALSE(parsed.options.upload.wait.has_value());
    EXPECT_FALSE(parsed.options.upload.bytes.has_value());
    EXPECT_FALSE(parsed.options.silence.afterHeartbeats.has_value());
}

TEST(EmulatorOptions, TakesValuesFromTheNextArgumentOrAfterEquals) {
    const ParsedCommandLine parsed =
        parse({"--upload-bytes", "8003", "--upload-port=18888", "--link=/tmp/x y", "--request-log", "log"});
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.upload.bytes, 8003u);
    EXPECT_EQ(parsed.options.upload.port, 18888);
    EXPECT_EQ(parsed.options.serial.linkPath, "/tmp/x y");
    EXPECT_EQ(parsed.options.serial.requestLogPath, "log");
}

TEST(EmulatorOptions, SecondsMayHaveAFractionAndMillisecondsMayNot) {
    const ParsedCommandLine parsed =
        parse({"--upload-wait", "0.25", "--silence-resume", "3", "--split-pause", "700", "--time-limit", "90"});
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.upload.wait, Milliseconds(250));
    EXPECT_EQ(parsed.options.silence.resumeAfter, Milliseconds(3000));
    EXPECT_EQ(parsed.options.chatter.splitPause, Milliseconds(700));
    EXPECT_EQ(parsed.options.run.timeLimit, Milliseconds(90000));
    EXPECT_NE(parse({"--split-pause", "0.5"}).error, "");
    EXPECT_NE(parse({"--upload-wait", "-1"}).error, "");
}

TEST(EmulatorOptions, TheLastWifiReplyOptionWins) {
    EXPECT_EQ(parse({"--wifi-fail"}).options.serial.wifiReplyMode, WifiReplyMode::Failure);
    EXPECT_EQ(parse({"--wifi-no-reply"}).options.serial.wifiReplyMode, WifiReplyMode::None);
    const ParsedCommandLine custom = parse({"--wifi-fail", "--wifi-reply", "{\"result\":\"1\"}"});
    EXPECT_EQ(custom.options.serial.wifiReplyMode, WifiReplyMode::Custom);
    EXPECT_EQ(custom.options.serial.wifiCustomReply, "{\"result\":\"1\"}");
    const ParsedCommandLine success = parse({"--wifi-no-reply", "--wifi-ip", "10.1.2.3"});
    EXPECT_EQ(success.options.serial.wifiReplyMode, WifiReplyMode::Success);
    EXPECT_EQ(success.options.serial.wifiIp, "10.1.2.3");
}

TEST(EmulatorOptions, AnEmptyCustomReplyIsKept) {
    const ParsedCommandLine parsed = parse({"--wifi-reply="});
    ASSERT_EQ(parsed.error, "");
    EXPECT_EQ(parsed.options.serial.wifiReplyMode, WifiReplyMode::Custom);
    EXPECT_EQ(parsed.options.serial.wifiCustomReply, "");
}

TEST(EmulatorOptions, CommandListsSelectWhichFramesAreSplit) {
    const ParsedCommandLine parsed = parse({"--split", "12", "--split-for", "wifi_connect,upload_record"});
    ASSERT_EQ(parsed.error, "");
    EXPECT_FALSE(parsed.options.chatter.splitFor.contains(quorvane::emulator::CommandKind::HeartBeat));
    EXPECT_TRUE(parsed.options.chatter.splitFor.contains(quorvane::emulator::CommandKind::WifiConnect));
    EXPECT_TRUE(parsed.options.chatter.splitFor.contains(quorvane::emulator::CommandKind::UploadRecord));
    EXPECT_NE(parse({"--noise-for", "heart_beat,reboot"}).error, "");
}

TEST(EmulatorOptions, RefusesAddressesOutsideLoopback) {
    EXPECT_EQ(parse({"--upload-from", "127.0.0.2"}).error, "");
    EXPECT_NE(parse({"--upload-from", "192.168.1.7"}).error, "");
    EXPECT_NE(parse({"--stranger-from", "10.0.0.2"}).error, "");
    EXPECT_NE(parse({"--stranger-from", "localhost"}).error, "");
}

TEST(EmulatorOptions, ReportsMistakesInsteadOfGuessing) {
    EXPECT_NE(parse({"--upload-bytes"}).error, "");
    EXPECT_NE(parse({"--upload-bytes", "12k"}).error, "");
    EXPECT_NE(parse({"--upload-bytes", "99999999999999999999999"}).error, "");
    EXPECT_NE(parse({"--upload-port", "0"}).error, "");
    EXPECT_NE(parse({"--upload-port", "65536"}).error, "");
    EXPECT_NE(parse({"--no-such-option"}).error, "");
    EXPECT_NE(parse({"stray"}).error, "");
    EXPECT_NE(parse({"--wifi-fail=yes"}).error, "");
    EXPECT_NE(parse({"--answer-every", "0"}).error, "");
}

TEST(EmulatorOptions, RefusesCombinationsThatCannotWork) {
    EXPECT_NE(parse({"--tty", "/dev/ttyS0", "--link", "/tmp/com1"}).error, "");
    EXPECT_NE(parse({"--tty", "/dev/ttyS0", "--vanish-after", "3"}).error, "");
    EXPECT_NE(parse({"--silence-repeat", "--silence-resume", "2"}).error, "");
    EXPECT_EQ(parse({"--silence-repeat", "--silence-resume", "2", "--silent-after-heartbeats", "3"}).error, "");
    for (const std::vector<std::string>& devices :
         std::vector<std::vector<std::string>>{{"--devices", "0"},
                                               {"--devices", "17"},
                                               {"--devices", "2", "--device-option", "3:wifi-fail"},
                                               {"--device-option", "1:no-such-option"},
                                               {"--device-option", "1:reset-at"},
                                               {"--device-option", "1:devices=2"},
                                               {"--device-option", "1:silence-repeat"},
                                               {"--devices", "2", "--tty", "/dev/ttyS0"},
                                               {"--devices", "2", "--link", "/tmp/com1"}}) {
        EXPECT_NE(parse(devices).error, "") << testing::PrintToString(devices);
    }
}

TEST(EmulatorOptions, UploadSignalIsTonesOrTestAndNotWithASourceFile) {
    EXPECT_FALSE(parse({}).options.upload.signal.has_value());
    EXPECT_EQ(parse({"--upload-signal", "test"}).options.upload.signal, quorvane::emulator::UploadSignal::Test);
    EXPECT_EQ(parse({"--upload-signal=tones"}).options.upload.signal, quorvane::emulator::UploadSignal::Tones);
    EXPECT_NE(parse({"--upload-signal", "noise"}).error, "");
    EXPECT_NE(parse({"--upload-signal", "test", "--upload-source", "x.raw"}).error, "");
}

TEST(EmulatorOptions, NetworkFaultsAreOffUnlessAsked) {
    const ParsedCommandLine none = parse({});
    EXPECT_FALSE(none.options.upload.holdAt.has_value());
    EXPECT_FALSE(none.options.upload.resetFirstBytes.has_value());
    EXPECT_FALSE(none.options.upload.uploadOnRejoin);
    EXPECT_FALSE(none.options.serial.rejoinFail);
    const ParsedCommandLine all =
        parse({"--hold-at", "65536", "--reset-first=4096", "--upload-on-rejoin", "--rejoin-fail"});
    ASSERT_EQ(all.error, "");
    EXPECT_EQ(all.options.upload.holdAt, 65536u);
    EXPECT_EQ(all.options.upload.resetFirstBytes, 4096u);
    EXPECT_TRUE(all.options.upload.uploadOnRejoin);
    EXPECT_TRUE(all.options.serial.rejoinFail);
    EXPECT_NE(parse({"--hold-at", "half"}).error, "");
    EXPECT_NE(parse({"--rejoin-fail=yes"}).error, "");
}

TEST(EmulatorOptions, HelpListsEveryOption) {
    EXPECT_TRUE(parse({"--help"}).helpRequested);
    const std::string usage = quorvane::emulator::usageText();
    for (const char* name :
         {"--tty", "--link", "--request-log", "--wifi-no-reply", "--silent-after-wifi", "--vanish-after-heartbeats",
          "--noise-gap", "--split-for", "--log-every", "--upload-source", "--upload-signal", "--pause-at", "--reset-at",
          "--stranger-from", "--time-limit", "--hold-at", "--reset-first", "--upload-on-rejoin", "--rejoin-fail"}) {
        EXPECT_NE(usage.find(name), std::string::npos) << name;
    }
    for (const char* name : {"--devices", "--device-option", "record-2.pcm"}) {
        EXPECT_NE(usage.find(name), std::string::npos) << name;
    }
}

TEST(EmulatorOptions, EachOfSeveralDevicesReportsAndUploadsFromItsOwnAddress) {
    struct Row {
        std::vector<std::string> arguments;
        unsigned device;
        const char* reported;
        const char* uploadsFrom;
    };
    const Row rows[] = {
        {{}, 1, "127.0.0.1", ""},
        {{"--devices", "3"}, 3, "127.0.0.4", "127.0.0.4"},
        {{"--devices", "3", "--wifi-ip", "127.0.0.9"}, 2, "127.0.0.9", "127.0.0.9"},
        {{"--devices", "2", "--wifi-ip", "203.0.113.10"}, 2, "203.0.113.10", "127.0.0.1"},
        {{"--wifi-ip", "127.0.0.5"}, 1, "127.0.0.5", "127.0.0.5"},
        {{"--devices", "3", "--upload-from", "127.0.0.1"}, 3, "127.0.0.4", "127.0.0.1"},
        {{"--devices", "3", "--device-option", "3:wifi-ip=127.0.0.2", "--wifi-ip=127.0.0.7"},
         3,
         "127.0.0.2",
         "127.0.0.2"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::PrintToString(row.arguments) + " device " + std::to_string(row.device));
        const ParsedCommandLine parsed = parse(row.arguments);
        ASSERT_EQ(parsed.error, "");
        const quorvane::emulator::Options options = quorvane::emulator::optionsOfDevice(parsed, row.device);
        EXPECT_EQ(options.serial.wifiIp, row.reported);
        EXPECT_EQ(options.upload.fromAddress, row.uploadsFrom);
    }
    EXPECT_EQ(quorvane::emulator::pathOfDevice("/tmp/a.b/record", 3), "/tmp/a.b/record-3");
    EXPECT_EQ(quorvane::emulator::pathOfDevice("w/.copy.tar.gz", 16), "w/.copy.tar-16.gz");
}

}  // namespace

#include <gtest/gtest.h>

#include "device_emulator/request.h"

namespace {

using quorvane::emulator::CommandKind;
using quorvane::emulator::LineSplitter;
using quorvane::emulator::parseRequest;

TEST(EmulatorRequest, RecognisesTheThreeCommands) {
    EXPECT_EQ(parseRequest("listen heart_beat\r\n").kind, CommandKind::HeartBeat);
    EXPECT_EQ(parseRequest("listen wifi_connect net pass\r\n").kind, CommandKind::WifiConnect);
    EXPECT_EQ(parseRequest("listen upload_record start -h 127.0.0.1 -c 5 -t 3\r\n").kind, CommandKind::UploadRecord);
    EXPECT_EQ(parseRequest("listen upload_record stop\r\n").kind, CommandKind::Unknown);
    EXPECT_EQ(parseRequest("Listen heart_beat\r\n").kind, CommandKind::Unknown);
    EXPECT_EQ(parseRequest("\r\n").kind, CommandKind::Unknown);
}

TEST(EmulatorRequest, PassPhraseKeepsItsBlanks) {
    const quorvane::emulator::Request request = parseRequest("listen wifi_connect home net  with blanks \r\n");
    EXPECT_EQ(request.ssid, "home");
    EXPECT_EQ(request.passphrase, "net  with blanks ");
}

TEST(EmulatorRequest, UploadTakesAddressAndRecordTime) {
    const quorvane::emulator::Request request = parseRequest("listen upload_record start -h 10.0.0.5 -c 5 -t 60\r\n");
    EXPECT_EQ(request.uploadAddress, "10.0.0.5");
    EXPECT_EQ(request.recordTime, "60");
}

TEST(EmulatorRequest, EmptyAddressAndEmptyRecordTimeStayEmpty) {
    const quorvane::emulator::Request noAddress = parseRequest("listen upload_record start -h  -c 5 -t 30\r\n");
    EXPECT_EQ(noAddress.uploadAddress, "");
    EXPECT_EQ(noAddress.recordTime, "30");
    const quorvane::emulator::Request noTime = parseRequest("listen upload_record start -h 127.0.0.1 -c 5 -t \r\n");
    EXPECT_EQ(noTime.uploadAddress, "127.0.0.1");
    EXPECT_EQ(noTime.recordTime, "");
}

TEST(EmulatorRequest, SplitterJoinsPartialLinesAndKeepsLineEnds) {
    LineSplitter splitter;
    EXPECT_TRUE(splitter.feed("listen heart", 12).empty());
    const std::string rest = "_beat\r\nlisten wifi";
    const std::vector<std::string> lines = splitter.feed(rest.data(), rest.size());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "listen heart_beat\r\n");
    const std::vector<std::string> next = splitter.feed("_connect a b\r\n", 14);
    ASSERT_EQ(next.size(), 1u);
    EXPECT_EQ(next[0], "listen wifi_connect a b\r\n");
}

TEST(EmulatorRequest, SplitterKeepsNulBytesAndResetDropsThePartialLine) {
    LineSplitter splitter;
    const std::string withNul("a\0b\n", 4);
    const std::vector<std::string> lines = splitter.feed(withNul.data(), withNul.size());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], withNul);
    splitter.feed("stale", 5);
    splitter.reset();
    const std::vector<std::string> fresh = splitter.feed("x\n", 2);
    ASSERT_EQ(fresh.size(), 1u);
    EXPECT_EQ(fresh[0], "x\n");
}

TEST(EmulatorRequest, SplitterBoundsALineThatNeverEnds) {
    LineSplitter splitter;
    const std::string garbage(LineSplitter::kMaxLineBytes + 10, 'g');
    const std::vector<std::string> lines = splitter.feed(garbage.data(), garbage.size());
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), LineSplitter::kMaxLineBytes);
    const std::vector<std::string> rest = splitter.feed("\n", 1);
    ASSERT_EQ(rest.size(), 1u);
    EXPECT_EQ(rest[0], std::string(10, 'g') + "\n");
}

}  // namespace

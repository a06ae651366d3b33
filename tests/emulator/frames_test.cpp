#include <gtest/gtest.h>

#include <algorithm>

#include "device_emulator/frames.h"

namespace {

using quorvane::emulator::ackFrame;
using quorvane::emulator::CommandKind;
using quorvane::emulator::splitIntoPieces;

TEST(EmulatorFrames, EachCommandHasItsOwnTags) {
    EXPECT_EQ(ackFrame(CommandKind::HeartBeat, ""), "\r\n<QRVN_ACK_HEART><QRVN_ACK_HEART_END>\r\n");
    EXPECT_EQ(ackFrame(CommandKind::WifiConnect, "{\"result\":1}"),
              "\r\n<QRVN_ACK_WIFI_CON>{\"result\":1}<QRVN_ACK_WIFI_CON_END>\r\n");
    EXPECT_EQ(ackFrame(CommandKind::UploadRecord, "x"), "\r\n<QRVN_ACK_TCP_AUDIO>x<QRVN_ACK_TCP_AUDIO_END>\r\n");
    EXPECT_EQ(ackFrame(CommandKind::Unknown, "x"), "");
}

TEST(EmulatorFrames, PiecesRejoinToTheFrame) {
    const std::string frame = ackFrame(CommandKind::WifiConnect, "{\"result\":1,\"ip\":\"127.0.0.1\"}");
    const std::vector<std::string> pieces = splitIntoPieces(frame, 7);
    std::string joined;
    for (const std::string& piece : pieces) {
        EXPECT_LE(piece.size(), 7u);
        EXPECT_FALSE(piece.empty());
        joined += piece;
    }
    EXPECT_EQ(joined, frame);
    EXPECT_EQ(pieces.size(), (frame.size() + 6) / 7);
}

TEST(EmulatorFrames, ZeroPieceSizeKeepsTheFrameWhole) {
    EXPECT_EQ(splitIntoPieces("abc", 0), std::vector<std::string>{"abc"});
    EXPECT_EQ(splitIntoPieces("abc", 3), std::vector<std::string>{"abc"});
}

TEST(EmulatorFrames, ConsoleTextNeverLooksLikeATag) {
    for (const std::string& line :
         {quorvane::emulator::consoleLineBefore(CommandKind::WifiConnect, 12),
          quorvane::emulator::consoleLineAfter(CommandKind::HeartBeat, 12), quorvane::emulator::chatterLine(12)}) {
        EXPECT_EQ(line.find("QRVN_ACK"), std::string::npos) << line;
        EXPECT_EQ(line.find('\0'), std::string::npos);
    }
}

TEST(EmulatorFrames, NoiseHasTheSizeAskedForAndCarriesNulBytes) {
    quorvane::emulator::NoiseSource source(42);
    const std::string noise = source.next(64 * 1024);
    EXPECT_EQ(noise.size(), 64u * 1024);
    const auto nuls = std::count(noise.begin(), noise.end(), '\0');
    EXPECT_GT(nuls, 100);
    EXPECT_LT(nuls, 500);
}

TEST(EmulatorFrames, NoiseIsReproducibleFromItsSeedAndDiffersBetweenBursts) {
    quorvane::emulator::NoiseSource first(7);
    quorvane::emulator::NoiseSource second(7);
    const std::string burst = first.next(1000);
    EXPECT_EQ(burst, second.next(1000));
    EXPECT_NE(burst, first.next(1000));
}

}  // namespace

#include <gtest/gtest.h>

#include "protocol/command_table.h"

namespace {

TEST(RequestLine, HeartBeatIsExactlyNineteenBytesWithNoTrailingBlank) {
    const UartRequest request = makeRequest(HEART_BEAT, "");
    EXPECT_EQ(request.line, "listen heart_beat\r\n");
    EXPECT_EQ(request.line.size(), 19u);
}

TEST(RequestLine, WifiConnectCarriesThePayloadVerbatim) {
    EXPECT_EQ(makeRequest(WIFI_CONNECT, "My Net pass word").line, "listen wifi_connect My Net pass word\r\n");
}

TEST(RequestLine, UploadRecordStartsWithItsThreeWordCommand) {
    EXPECT_EQ(makeRequest(UPLOAD_RECORD, "-h 10.0.0.5 -c 5 -t 60").line,
              "listen upload_record start -h 10.0.0.5 -c 5 -t 60\r\n");
}

TEST(RequestLine, BlankOnlyPayloadIsNotEmpty) {
    EXPECT_EQ(makeRequest(WIFI_CONNECT, " ").line, "listen wifi_connect  \r\n");
}

TEST(RequestLine, RequestCarriesItsTypeTimeoutAndPatterns) {
    const UartRequest request = makeRequest(UPLOAD_RECORD, "x");
    EXPECT_EQ(request.type, UPLOAD_RECORD);
    EXPECT_EQ(request.timeoutMs, 10000);
    EXPECT_EQ(request.ackPattern, R"(^[\s\S]*?<QRVN_ACK_TCP_AUDIO>[\s\S]*$)");
    EXPECT_EQ(request.ackEndPattern, R"(^[\s\S]*?<QRVN_ACK_TCP_AUDIO_END>[\s\S]*$)");
    EXPECT_FALSE(request.completed);
    EXPECT_TRUE(request.response.empty());
    EXPECT_TRUE(request.recentChunks.empty());
}

TEST(CommandTable, RowsAreIndexedByCommandType) {
    for (int row = 0; row < 3; ++row) {
        EXPECT_EQ(kCommandTable[row].type, row);
        EXPECT_EQ(kCommandTable[row].timeoutMs, 10000);
    }
    EXPECT_STREQ(kCommandTable[HEART_BEAT].text, "listen heart_beat");
    EXPECT_STREQ(kCommandTable[WIFI_CONNECT].text, "listen wifi_connect");
    EXPECT_STREQ(kCommandTable[UPLOAD_RECORD].text, "listen upload_record start");
}

TEST(CommandTable, AckTagNames) {
    EXPECT_EQ(ackTagName(HEART_BEAT), "HEART");
    EXPECT_EQ(ackTagName(WIFI_CONNECT), "WIFI_CON");
    EXPECT_EQ(ackTagName(UPLOAD_RECORD), "TCP_AUDIO");
    EXPECT_EQ(ackTagName(static_cast<CommandType>(3)), "");
    EXPECT_EQ(ackTagName(static_cast<CommandType>(-1)), "");
}

TEST(CommandTable, BuildAckPatternsReplacesPreviousContents) {
    std::string open = "stale";
    std::string end = "stale";
    buildAckPatterns(HEART_BEAT, open, end);
    EXPECT_EQ(open, R"(^[\s\S]*?<QRVN_ACK_HEART>[\s\S]*$)");
    EXPECT_EQ(end, R"(^[\s\S]*?<QRVN_ACK_HEART_END>[\s\S]*$)");
    buildAckPatterns(WIFI_CONNECT, open, end);
    EXPECT_EQ(open, R"(^[\s\S]*?<QRVN_ACK_WIFI_CON>[\s\S]*$)");
    EXPECT_EQ(end, R"(^[\s\S]*?<QRVN_ACK_WIFI_CON_END>[\s\S]*$)");
}

quorvane::platform::FtimeStamp later(const quorvane::platform::FtimeStamp& start, std::int64_t milliseconds) {
    const std::int64_t total = std::int64_t{start.time} * 1000 + start.millitm + milliseconds;
    quorvane::platform::FtimeStamp stamp;
    stamp.time = static_cast<std::int32_t>(total / 1000);
    stamp.millitm = static_cast<std::uint16_t>(total % 1000);
    return stamp;
}

TEST(RequestTimeout, ExpiresExactlyAtItsTimeout) {
    const UartRequest request = makeRequest(WIFI_CONNECT, "a b");
    EXPECT_FALSE(request.isTimedOut(later(request.createdAt, 0)));
    EXPECT_FALSE(request.isTimedOut(later(request.createdAt, 9999)));
    EXPECT_TRUE(request.isTimedOut(later(request.createdAt, 10000)));
    EXPECT_TRUE(request.isTimedOut(later(request.createdAt, 10001)));
}

TEST(RequestTimeout, CountsAcrossASecondBoundaryWithFewerMilliseconds) {
    UartRequest request = makeRequest(WIFI_CONNECT, "a b");
    request.createdAt.time = 1000;
    request.createdAt.millitm = 900;
    quorvane::platform::FtimeStamp now;
    now.time = 1010;
    now.millitm = 899;
    EXPECT_FALSE(request.isTimedOut(now));
    now.millitm = 900;
    EXPECT_TRUE(request.isTimedOut(now));
}

TEST(RequestTimeout, AClockSetBackCountsAsExpired) {
    const UartRequest request = makeRequest(WIFI_CONNECT, "a b");
    EXPECT_TRUE(request.isTimedOut(later(request.createdAt, -1)));
    EXPECT_TRUE(request.isTimedOut(later(request.createdAt, -3600 * 1000)));
}

TEST(RequestTimeout, FreshRequestOnTheRealClockIsNotExpired) {
    EXPECT_FALSE(makeRequest(WIFI_CONNECT, "a b").isTimedOut());
}

TEST(RequestCopy, CopiesShareTheCreationTime) {
    const UartRequest request = makeRequest(HEART_BEAT, "");
    const UartRequest copy = request;
    EXPECT_EQ(copy.createdAt.time, request.createdAt.time);
    EXPECT_EQ(copy.createdAt.millitm, request.createdAt.millitm);
    EXPECT_EQ(copy.line, request.line);
}

}  // namespace

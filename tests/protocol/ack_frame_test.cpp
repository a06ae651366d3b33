#include <gtest/gtest.h>

#include <string>

#include "protocol/command_table.h"

namespace {

UartRequest wifiRequest() {
    return makeRequest(WIFI_CONNECT, "net pass");
}

TEST(AckFrame, WholeFrameInOneChunkCompletesAndYieldsTrimmedPayload) {
    UartRequest request = wifiRequest();
    const std::string chunk = "boot ok\r\n<QRVN_ACK_WIFI_CON>\r\n\t {\"result\":1} \r\n<QRVN_ACK_WIFI_CON_END>\r\n";
    EXPECT_TRUE(request.feed(chunk));
    EXPECT_TRUE(request.completed);
    EXPECT_TRUE(request.recentChunks.empty());
    EXPECT_EQ(request.response, chunk);
    EXPECT_EQ(request.ackPayload(), "{\"result\":1}");
}

TEST(AckFrame, FrameSplitOverTwoChunksCompletesOnTheSecond) {
    UartRequest request = wifiRequest();
    EXPECT_FALSE(request.feed("<QRVN_ACK_WIFI_CON>{\"result\""));
    EXPECT_TRUE(request.feed(":1}<QRVN_ACK_WIFI_CON_END>"));
    EXPECT_EQ(request.ackPayload(), "{\"result\":1}");
}

TEST(AckFrame, FrameSplitOverThreeChunksCompletesOnTheThird) {
    UartRequest request = wifiRequest();
    EXPECT_FALSE(request.feed("<QRVN_ACK_WIFI_CON>"));
    EXPECT_FALSE(request.feed("{\"ip\":\"1.2.3.4\"}"));
    EXPECT_TRUE(request.feed("<QRVN_ACK_WIFI_CON_END>"));
    EXPECT_EQ(request.ackPayload(), "{\"ip\":\"1.2.3.4\"}");
}

TEST(AckFrame, ClosingTagThreeChunksAfterTheOpeningTagIsTooLate) {
    UartRequest request = wifiRequest();
    EXPECT_FALSE(request.feed("<QRVN_ACK_WIFI_CON>"));
    EXPECT_FALSE(request.feed("a"));
    EXPECT_FALSE(request.feed("b"));
    EXPECT_FALSE(request.feed("<QRVN_ACK_WIFI_CON_END>"));
    EXPECT_FALSE(request.completed);
    EXPECT_EQ(request.recentChunks.size(), 3u);
}

TEST(AckFrame, TagSplitAcrossChunksIsRecognised) {
    UartRequest request = wifiRequest();
    EXPECT_FALSE(request.feed("xx<QRVN_ACK_WI"));
    EXPECT_FALSE(request.feed("FI_CON>{}<QRVN_ACK_WIFI"));
    EXPECT_TRUE(request.feed("_CON_END>yy"));
    EXPECT_EQ(request.ackPayload(), "{}");
}

TEST(AckFrame, AnotherCommandsFrameLeavesTheRequestPending) {
    UartRequest request = wifiRequest();
    EXPECT_FALSE(request.feed("<QRVN_ACK_HEART>ok<QRVN_ACK_HEART_END>"));
    EXPECT_FALSE(request.feed("<QRVN_ACK_TCP_AUDIO>{}<QRVN_ACK_TCP_AUDIO_END>"));
    EXPECT_FALSE(request.completed);
}

TEST(AckFrame, ClosingTagIsNotTakenForTheOpeningTag) {
    UartRequest heart = makeRequest(HEART_BEAT, "");
    EXPECT_FALSE(heart.feed("<QRVN_ACK_HEART_END>"));
    EXPECT_FALSE(heart.feed("<QRVN_ACK_HEART_END><QRVN_ACK_HEART_END>"));
    EXPECT_FALSE(heart.completed);
}

TEST(AckFrame, OneTagAloneNeverCompletes) {
    UartRequest opening = wifiRequest();
    EXPECT_FALSE(opening.feed("<QRVN_ACK_WIFI_CON>{\"result\":1}"));
    UartRequest closing = wifiRequest();
    EXPECT_FALSE(closing.feed("{\"result\":1}<QRVN_ACK_WIFI_CON_END>"));
}

TEST(AckFrame, TagsAreCaseSensitive) {
    UartRequest request = wifiRequest();
    EXPECT_FALSE(request.feed("<qrvn_ack_wifi_con>{}<qrvn_ack_wifi_con_end>"));
}

TEST(AckFrame, ClosingBeforeOpeningCompletesWithAnEmptyPayload) {
    UartRequest request = wifiRequest();
    EXPECT_TRUE(request.feed("<QRVN_ACK_WIFI_CON_END> junk <QRVN_ACK_WIFI_CON>"));
    EXPECT_EQ(request.ackPayload(), "");
}

TEST(AckFrame, EmptyChunkChangesNothing) {
    UartRequest request = wifiRequest();
    EXPECT_FALSE(request.feed(""));
    EXPECT_FALSE(request.completed);
}

TEST(AckPayload, EmptyPayloadYieldsEmptyText) {
    UartRequest request = wifiRequest();
    EXPECT_TRUE(request.feed("<QRVN_ACK_WIFI_CON><QRVN_ACK_WIFI_CON_END>"));
    EXPECT_EQ(request.ackPayload(), "");
}

TEST(AckPayload, WhitespaceOnlyPayloadIsReturnedUnchanged) {
    UartRequest request = wifiRequest();
    EXPECT_TRUE(request.feed("<QRVN_ACK_WIFI_CON> \r\n\t <QRVN_ACK_WIFI_CON_END>"));
    EXPECT_EQ(request.ackPayload(), " \r\n\t ");
}

TEST(AckPayload, FirstOfSeveralFramesWins) {
    UartRequest request = wifiRequest();
    EXPECT_TRUE(request.feed(
        "<QRVN_ACK_WIFI_CON>first<QRVN_ACK_WIFI_CON_END><QRVN_ACK_WIFI_CON>second<QRVN_ACK_WIFI_CON_END>"));
    EXPECT_EQ(request.ackPayload(), "first");
}

TEST(AckPayload, PayloadEndsAtTheFirstClosingTag) {
    UartRequest request = wifiRequest();
    EXPECT_TRUE(request.feed("<QRVN_ACK_WIFI_CON>a<QRVN_ACK_WIFI_CON_END>b<QRVN_ACK_WIFI_CON_END>"));
    EXPECT_EQ(request.ackPayload(), "a");
}

TEST(AckPayload, NoResponseYieldsEmptyText) {
    EXPECT_EQ(wifiRequest().ackPayload(), "");
}

TEST(AckFrame, EveryPendingCopySeesTheSameFrame) {
    UartRequest first = makeRequest(HEART_BEAT, "");
    UartRequest second = first;
    const std::string chunk = "<QRVN_ACK_HEART>alive<QRVN_ACK_HEART_END>";
    EXPECT_TRUE(first.feed(chunk));
    EXPECT_TRUE(second.feed(chunk));
    EXPECT_EQ(first.ackPayload(), second.ackPayload());
}

TEST(AckFrame, FullWindowOfMaximalChunksIsMatched) {
    UartRequest request = wifiRequest();
    const std::string noise(1024 - 20, 'n');
    EXPECT_FALSE(request.feed(noise + "<QRVN_ACK_WIFI_CON>"));
    EXPECT_FALSE(request.feed(std::string(1024, 'p')));
    EXPECT_TRUE(request.feed("<QRVN_ACK_WIFI_CON_END>" + std::string(1024 - 23, 'n')));
    EXPECT_EQ(request.ackPayload(), std::string(1024, 'p'));
}

TEST(AckFrame, BytesAboveAsciiAreMatchedLikeAnyOther) {
    UartRequest request = wifiRequest();
    EXPECT_TRUE(request.feed("\xff\x80<QRVN_ACK_WIFI_CON>\xe4\xb8\xad<QRVN_ACK_WIFI_CON_END>\xfe"));
    EXPECT_EQ(request.ackPayload(), "\xe4\xb8\xad");
}

}  // namespace

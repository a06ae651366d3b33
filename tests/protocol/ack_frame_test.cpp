#include <gtest/gtest.h>

#include <string>
#include <vector>

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

// The chunks the reader hands a request one by one. Every chunk but the last
// leaves it pending; the last completes it with `payload`, or leaves it
// pending too.
TEST(AckFrame, ChunksCompleteTheRequestOnlyWithItsOwnWholeFrame) {
    struct Case {
        const char* name;
        CommandType command;
        std::vector<std::string> chunks;
        bool completes;
        std::string payload;
    };
    const Case cases[] = {
        {"a frame split over two chunks",
         WIFI_CONNECT,
         {"<QRVN_ACK_WIFI_CON>{\"result\"", ":1}<QRVN_ACK_WIFI_CON_END>"},
         true,
         "{\"result\":1}"},
        {"a frame split over three chunks",
         WIFI_CONNECT,
         {"<QRVN_ACK_WIFI_CON>", "{\"ip\":\"1.2.3.4\"}", "<QRVN_ACK_WIFI_CON_END>"},
         true,
         "{\"ip\":\"1.2.3.4\"}"},
        {"tags split across chunks",
         WIFI_CONNECT,
         {"xx<QRVN_ACK_WI", "FI_CON>{}<QRVN_ACK_WIFI", "_CON_END>yy"},
         true,
         "{}"},
        {"another command's frames",
         WIFI_CONNECT,
         {"<QRVN_ACK_HEART>ok<QRVN_ACK_HEART_END>", "<QRVN_ACK_TCP_AUDIO>{}<QRVN_ACK_TCP_AUDIO_END>"},
         false,
         ""},
        {"the closing tag is not the opening tag",
         HEART_BEAT,
         {"<QRVN_ACK_HEART_END>", "<QRVN_ACK_HEART_END><QRVN_ACK_HEART_END>"},
         false,
         ""},
        {"the opening tag alone", WIFI_CONNECT, {"<QRVN_ACK_WIFI_CON>{\"result\":1}"}, false, ""},
        {"the closing tag alone", WIFI_CONNECT, {"{\"result\":1}<QRVN_ACK_WIFI_CON_END>"}, false, ""},
        {"tags in lower case", WIFI_CONNECT, {"<qrvn_ack_wifi_con>{}<qrvn_ack_wifi_con_end>"}, false, ""},
        {"closing before opening", WIFI_CONNECT, {"<QRVN_ACK_WIFI_CON_END> junk <QRVN_ACK_WIFI_CON>"}, true, ""},
        {"an empty chunk", WIFI_CONNECT, {""}, false, ""},
        {"an empty payload", WIFI_CONNECT, {"<QRVN_ACK_WIFI_CON><QRVN_ACK_WIFI_CON_END>"}, true, ""},
        {"a payload of white space only",
         WIFI_CONNECT,
         {"<QRVN_ACK_WIFI_CON> \r\n\t <QRVN_ACK_WIFI_CON_END>"},
         true,
         " \r\n\t "},
        {"the first of several frames",
         WIFI_CONNECT,
         {"<QRVN_ACK_WIFI_CON>first<QRVN_ACK_WIFI_CON_END><QRVN_ACK_WIFI_CON>second<QRVN_ACK_WIFI_CON_END>"},
         true,
         "first"},
        {"the payload ends at the first closing tag",
         WIFI_CONNECT,
         {"<QRVN_ACK_WIFI_CON>a<QRVN_ACK_WIFI_CON_END>b<QRVN_ACK_WIFI_CON_END>"},
         true,
         "a"},
        {"bytes above ASCII",
         WIFI_CONNECT,
         {"\xff\x80<QRVN_ACK_WIFI_CON>\xe4\xb8\xad<QRVN_ACK_WIFI_CON_END>\xfe"},
         true,
         "\xe4\xb8\xad"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        UartRequest request = makeRequest(test.command, test.command == WIFI_CONNECT ? "net pass" : "");
        for (std::size_t index = 0; index + 1 < test.chunks.size(); ++index) {
            EXPECT_FALSE(request.feed(test.chunks[index])) << "chunk " << index;
        }
        EXPECT_EQ(request.feed(test.chunks.back()), test.completes);
        EXPECT_EQ(request.completed, test.completes);
        EXPECT_EQ(request.ackPayload(), test.payload);
    }
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

}  // namespace

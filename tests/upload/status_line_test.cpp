#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/diagnostics.h"
#include "upload/status_line.h"
#include "upload_fixture.h"

namespace {

using quorvane::upload::StatusLine;
using quorvane::upload::StatusText;

// As the upload shows it: narrowed, the audio goes first, then "received",
// then the rate.
const StatusText kReceived{
    {"", "received", 2}, {" ", "1000 bytes", 0}, {" ", "(0:00.0 of audio)", 3}, {" at ", "0.50 MB/s", 1}};

// Answers with the widths given, one a query, then with the last of them.
quorvane::upload::ColumnQuery changingColumns(std::vector<int> widths) {
    auto next = std::make_shared<std::size_t>(0);
    return [widths, next] { return widths.at(std::min(widths.size() - 1, (*next)++)); };
}

TEST(FittedText, LeavesOutTheMostDroppablePartFirstAndCutsTheLastOneLeft) {
    const struct {
        std::size_t columns;
        const char* fitted;
    } cases[] = {
        {80, "received 1000 bytes (0:00.0 of audio) at 0.50 MB/s"},
        {50, "received 1000 bytes (0:00.0 of audio) at 0.50 MB/s"},
        {49, "received 1000 bytes at 0.50 MB/s"},
        {32, "received 1000 bytes at 0.50 MB/s"},
        // The first part left keeps no lead.
        {31, "1000 bytes at 0.50 MB/s"},
        {22, "1000 bytes"},
        {7, "1000 by"},
        {0, "1"},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.columns);
        EXPECT_EQ(quorvane::upload::fittedText(kReceived, each.columns), each.fitted);
    }
    EXPECT_EQ(quorvane::upload::wholeText(kReceived), "received 1000 bytes (0:00.0 of audio) at 0.50 MB/s");
    EXPECT_EQ(quorvane::upload::fittedText({}, 10), "");
}

using StatusLineTest = UploadTest;

// A column is kept free: a text that reaches the last column moves the
// cursor to the next row on some terminals.
TEST_F(StatusLineTest, OnATerminalTextsAreRewrittenInPlaceOneColumnNarrowerThanTheTerminal) {
    StatusLine line(true, fixedColumns(33));
    line.show(kReceived);
    line.show({{"", "no data", 0}});
    line.end({{"", "ended", 0}});
    line.show({{"", "again", 0}});
    EXPECT_EQ(diagnostics(),
              "\rreceived 1000 bytes at 0.50 MB/s"
              "\rno data                         "
              "\rended  \n"
              "\ragain");
}

// The width is asked at every redraw, since the window may be resized; the
// blanks that wipe out a longer text never reach past the new width.
TEST_F(StatusLineTest, EveryTextFitsTheWidthOfTheMomentAndAnUnknownWidthIs80Columns) {
    StatusLine line(true, changingColumns({0, 12, 60}));
    line.show({{"", std::string(100, 'a'), 0}});
    line.show({{"", "b", 0}});
    line.show(kReceived);
    EXPECT_EQ(diagnostics(), "\r" + std::string(79, 'a') + "\rb" + std::string(10, ' ') +
                                 "\rreceived 1000 bytes (0:00.0 of audio) at 0.50 MB/s");
}

// A message, or one of the run's own lines on standard output, while the
// line stands unfinished on a terminal would be added to its row; it starts
// on a row of its own instead, once.
TEST_F(StatusLineTest, AMessageTakesAnUnfinishedLineOffTheTerminalFirst) {
    const struct {
        const char* name;
        bool onTerminal;
        bool ended;
        bool consoleLine;
        const char* said;
    } cases[] = {
        {"standing on a terminal", true, false, false,
         "\rno data\r       \rquorvane-capture: gone\nquorvane-capture: x\n"},
        {"ended on a terminal", true, true, false, "\rno data\nquorvane-capture: gone\nquorvane-capture: x\n"},
        {"in a log", false, false, false, "no data\nquorvane-capture: gone\nquorvane-capture: x\n"},
        {"a console line", true, false, true, "\rno data\r       \r"},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.name);
        const std::size_t before = diagnostics().size();
        StatusLine line(each.onTerminal, fixedColumns(40));
        if (each.ended) {
            line.end({{"", "no data", 0}});
        } else {
            line.show({{"", "no data", 0}});
        }
        ::testing::internal::CaptureStdout();
        if (each.consoleLine) {
            quorvane::platform::consoleLine("wifi connecting\n");
        } else {
            quorvane::platform::diagnose("gone\n");
        }
        EXPECT_EQ(::testing::internal::GetCapturedStdout(), each.consoleLine ? "wifi connecting\n" : "");
        if (!each.consoleLine) {
            quorvane::platform::diagnose("x\n");
        }
        EXPECT_EQ(diagnostics().substr(before), each.said);
    }
}


// What a station's run says, its own threads' lines with it, goes to that
// run's output and nowhere else.
class KeptOutput : public quorvane::platform::RunOutput {
public:
    void line(const std::string& text, bool consoleLine) override {
        lines.push_back((consoleLine ? "out " : "err ") + text);
    }
    void status(const std::string& text) override { statuses.push_back(text); }

    std::vector<std::string> lines;
    std::vector<std::string> statuses;
};

TEST_F(StatusLineTest, ARunsLinesAndItsThreadsLinesGoToItsOwnOutput) {
    const auto kept = std::make_shared<KeptOutput>();
    const std::size_t before = diagnostics().size();
    {
        quorvane::platform::RunOutputScope scope(kept);
        quorvane::platform::consoleLine("wifi connecting\n");
        quorvane::platform::showStatus("received 1 byte", 40, false);
        quorvane::platform::sayingThread([] { quorvane::platform::diagnose("from the run's thread\n"); }).join();
        quorvane::platform::showStatus("upload ended", 40, true);
    }
    quorvane::platform::diagnose("after the run\n");
    EXPECT_EQ(kept->lines, (std::vector<std::string>{"out wifi connecting\n",
                                                     "err quorvane-capture: from the run's thread\n",
                                                     "err upload ended\n"}));
    EXPECT_EQ(kept->statuses, (std::vector<std::string>{"received 1 byte", ""}));
    EXPECT_EQ(diagnostics().substr(before), "quorvane-capture: after the run\n");
}

}  // namespace

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "recording/record_time.h"
#include "upload/progress.h"
#include "upload_fixture.h"

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

using Progress = UploadTest;

// Wide enough for every line in full, whatever terminal runs the test.
const quorvane::upload::ColumnQuery kWide = fixedColumns(200);

// What a terminal `columns` wide shows after `output`: its rows, without
// trailing blanks or empty rows at the end, and how often a text ran on past
// a row's end (xterm's way: a character that finds the cursor past the last
// column goes to the next row).
struct Screen {
    std::vector<std::string> rows;
    int wraps = 0;
};

Screen render(const std::string& output, std::size_t columns) {
    Screen screen;
    std::size_t row = 0;
    std::size_t column = 0;
    for (const char character : output) {
        if (character == '\r') {
            column = 0;
            continue;
        }
        if (character == '\n' || column == columns) {
            screen.wraps += character == '\n' ? 0 : 1;
            ++row;
            column = 0;
        }
        screen.rows.resize(std::max(screen.rows.size(), row + 1));
        if (character == '\n') {
            continue;
        }
        std::string& text = screen.rows[row];
        text.resize(std::max(text.size(), column + 1), ' ');
        text[column++] = character;
    }
    for (std::string& text : screen.rows) {
        text.erase(text.find_last_not_of(' ') + 1);
    }
    while (!screen.rows.empty() && screen.rows.back().empty()) {
        screen.rows.pop_back();
    }
    return screen;
}

TEST(AudioDuration, IsTheClockTextOf128000BytesASecondCutToATenth) {
    EXPECT_EQ(quorvane::recording::audioDuration(127999), "0:00.9");
    EXPECT_EQ(quorvane::recording::audioDuration(128000 * 61 + 64000), "1:01.5");
    EXPECT_EQ(quorvane::recording::audioDuration(460800000ull * 100), "100:00:00.0");
}

TEST_F(Progress, OnATerminalOneLineIsRewrittenInPlaceAFewTimesASecond) {
    const std::vector<milliseconds> readings = {milliseconds(0),   milliseconds(100), milliseconds(300),
                                                milliseconds(400), milliseconds(700), milliseconds(800)};
    auto next = std::make_shared<std::size_t>(0);
    quorvane::upload::ProgressMeter meter(
        [readings, next] { return std::chrono::steady_clock::time_point(readings.at((*next)++)); }, true,
        quorvane::upload::kStallNotice, 0, kWide);
    for (std::size_t bytes : {1000000, 2000000, 0, 1}) {
        meter.add(bytes);
    }
    meter.finish();
    EXPECT_EQ(diagnostics(),
              "\rreceived 3000000 bytes (0:23.4 of audio) at 10.00 MB/s"
              "\rreceived 3000001 bytes (0:23.4 of audio) at 4.29 MB/s "
              "\rupload ended: received 3000001 bytes (0:23.4 of audio) at 3.75 MB/s in 0:00.8\n");
}

// While nothing arrives for 5 s or more, the line says for how long instead
// of a rate that would only sink; the next bytes bring the rate back.
TEST_F(Progress, OnATerminalASilenceOf5SecondsOrMoreIsShownInsteadOfTheRate) {
    const std::vector<milliseconds> readings = {milliseconds(0),    milliseconds(100),  milliseconds(5000),
                                                milliseconds(5100), milliseconds(5200), milliseconds(6200),
                                                milliseconds(6500), milliseconds(6600)};
    auto next = std::make_shared<std::size_t>(0);
    quorvane::upload::ProgressMeter meter(
        [readings, next] { return std::chrono::steady_clock::time_point(readings.at((*next)++)); }, true,
        quorvane::upload::kStallNotice, 0, kWide);
    meter.add(1000);
    EXPECT_EQ(meter.idle(), milliseconds(4900));
    EXPECT_EQ(meter.idle(), milliseconds(5000));
    EXPECT_EQ(meter.idle(), milliseconds(5100));
    EXPECT_EQ(meter.idle(), milliseconds(6100));
    meter.add(1);
    meter.finish();
    EXPECT_EQ(diagnostics(),
              "\rreceived 1000 bytes (0:00.0 of audio); no data for 0:05"
              "\rreceived 1000 bytes (0:00.0 of audio); no data for 0:06"
              "\rreceived 1001 bytes (0:00.0 of audio) at 0.00 MB/s     "
              "\rupload ended: received 1001 bytes (0:00.0 of audio) at 0.00 MB/s in 0:06.6\n");
}

TEST(RecordTime, AWholeNumberOfSecondsGivesTheExpectedUploadSize) {
    const struct {
        const char* text;
        std::optional<seconds> recorded;
        std::uint64_t bytes;
    } cases[] = {
        {"30", seconds(30), 3840000}, {"030", seconds(30), 3840000},
        {"0", seconds(0), 0},         {"999999999", seconds(999999999), 127999999872000},
        {"", std::nullopt, 0},        {"2.5", std::nullopt, 0},
        {"30s", std::nullopt, 0},     {" 30", std::nullopt, 0},
        {"-1", std::nullopt, 0},      {"1000000000", std::nullopt, 0},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.text);
        EXPECT_EQ(quorvane::recording::recordSeconds(each.text), each.recorded);
        EXPECT_EQ(quorvane::recording::expectedUploadBytes(each.text), each.bytes);
    }
}

TEST(ClockText, IsMinutesAndSecondsThenHoursFromAnHourOnWithThePlacesAsked) {
    const struct {
        long long milliseconds;
        int decimals;
        const char* text;
    } cases[] = {{0, 0, "0:00"},       {59999, 0, "0:59"},        {61000, 0, "1:01"},          {3599000, 0, "59:59"},
                 {3600000, 0, "1:00:00"}, {3661000, 0, "1:01:01"}, {360000000, 0, "100:00:00"}, {990, 1, "0:00.9"},
                 {83456, 2, "1:23.45"},   {3600500, 1, "1:00:00.5"}, {-5000, 1, "0:00.0"}};
    for (const auto& each : cases) {
        SCOPED_TRACE(each.milliseconds);
        EXPECT_EQ(quorvane::recording::clockText(milliseconds(each.milliseconds), each.decimals), each.text);
    }
    EXPECT_EQ(quorvane::recording::elapsedText(milliseconds(750)), "0:00.8");
    EXPECT_EQ(quorvane::recording::elapsedText(milliseconds(20049), 2), "0:20.05");
}

// Away from a terminal a line is added every 10 s. With the size expected it
// also shows the share and the time left, from the mean rate so far (20 s at
// 10 s of 30 s); the last line stays as it was.
TEST_F(Progress, AwayFromATerminalALineIsAddedEvery10Seconds) {
    const struct {
        std::uint64_t expected;
        const char* said;
    } cases[] = {
        {0,
         "received 1280000 bytes (0:10.0 of audio) at 0.13 MB/s\n"
         "received 2560000 bytes (0:20.0 of audio) at 0.13 MB/s\n"
         "upload ended: received 3200000 bytes (0:25.0 of audio) at 0.12 MB/s in 0:26.0\n"},
        {3840000,
         "received 1280000 of 3840000 bytes (0:10.0 of audio), 33% at 0.13 MB/s, 0:20 left\n"
         "received 2560000 of 3840000 bytes (0:20.0 of audio), 66% at 0.13 MB/s, 0:10 left\n"
         "upload ended: received 3200000 bytes (0:25.0 of audio) at 0.12 MB/s in 0:26.0\n"},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.expected);
        const std::size_t before = diagnostics().size();
        quorvane::upload::ProgressMeter meter(steppingClock(seconds(1)), false, quorvane::upload::kStallNotice,
                                              each.expected);
        for (int second = 1; second <= 25; ++second) {
            meter.add(128000);
        }
        meter.finish();
        EXPECT_EQ(diagnostics().substr(before), each.said);
    }
}

// Before the first byte there is no rate to tell the time left by (and the
// silence is said as ever); an upload that has all but stopped would take 100
// hours or more (here 2 500 days); past the expected size there is nothing
// left, and the share passes 100.
TEST_F(Progress, TheTimeLeftIsLeftOutWhenThereIsNoTellingItOrNothingIsLeft) {
    ManualClock clock;
    quorvane::upload::ProgressMeter meter(clock.clock(), false, quorvane::upload::kStallNotice, 384000);
    clock.advance(seconds(10));
    meter.idle();
    clock.advance(seconds(10));
    meter.add(1);
    clock.advance(seconds(10));
    meter.add(399999);
    EXPECT_EQ(diagnostics(),
              "received 0 bytes (0:00.0 of audio); no data for 0:10\n"
              "received 1 of 384000 bytes (0:00.0 of audio), 0% at 0.00 MB/s\n"
              "received 400000 of 384000 bytes (0:03.1 of audio), 104% at 0.01 MB/s\n");
}

// Narrowed, the line loses the audio, "received", the rate, the bytes and the
// time left, in that order, and keeps the share longest.
TEST_F(Progress, OnANarrowTerminalTheLeastImportantPartsAreLeftOutFirst) {
    const struct {
        int columns;
        const char* shown;
    } cases[] = {
        {79, "received 128000 of 384000 bytes (0:01.0 of audio), 33% at 0.13 MB/s, 0:02 left"},
        {78, "received 128000 of 384000 bytes, 33% at 0.13 MB/s, 0:02 left"},
        {61, "received 128000 of 384000 bytes, 33% at 0.13 MB/s, 0:02 left"},
        {60, "128000 of 384000 bytes, 33% at 0.13 MB/s, 0:02 left"},
        {51, "128000 of 384000 bytes, 33%, 0:02 left"},
        {38, "33%, 0:02 left"},
        {14, "33%"},
        {3, "33"},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.columns);
        const std::string before = diagnostics();
        ManualClock clock;
        quorvane::upload::ProgressMeter meter(clock.clock(), true, quorvane::upload::kStallNotice, 384000,
                                              fixedColumns(each.columns));
        clock.advance(seconds(1));
        meter.add(128000);
        EXPECT_EQ(diagnostics().substr(before.size()), std::string("\r") + each.shown);
        meter.finish();
    }
}

// Three seconds at 128000 bytes a second, in 4000-byte pieces. Every
// redraw that is wider than the terminal wraps and leaves a stale row behind.
TEST_F(Progress, OnATerminalNoRedrawWrapsAndA3SecondUploadLeavesOnlyItsLastLine) {
    const struct {
        int columns;
        std::uint64_t expected;
        const char* lastLine;
    } cases[] = {
        {50, 0, "upload ended: received 384000 bytes in 0:03.0"},
        {50, 384000, "upload ended: received 384000 bytes in 0:03.0"},
        {20, 0, "384000 bytes"},
        {20, 384000, "384000 bytes"},
        {81, 384000, "upload ended: received 384000 bytes (0:03.0 of audio) at 0.13 MB/s in 0:03.0"},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(std::to_string(each.columns) + " columns, " + std::to_string(each.expected) + " expected");
        const std::string before = diagnostics();
        ManualClock clock;
        quorvane::upload::ProgressMeter meter(clock.clock(), true, quorvane::upload::kStallNotice, each.expected,
                                              fixedColumns(each.columns));
        for (int piece = 0; piece < 96; ++piece) {
            clock.advance(milliseconds(31));
            meter.add(4000);
        }
        meter.finish();
        const std::string output = diagnostics().substr(before.size());
        EXPECT_GE(occurrences(output, "\r"), 10) << output;
        const Screen screen = render(output, static_cast<std::size_t>(each.columns));
        EXPECT_EQ(screen.wraps, 0) << output;
        EXPECT_EQ(screen.rows, std::vector<std::string>{each.lastLine}) << output;
    }
}

using Countdown = UploadTest;

struct CountdownStep {
    milliseconds advance;
    bool clearFirst;
    milliseconds untilNext;
    std::string shown;
};

// Steps the countdown along the clock: after each step, how long until the
// next update and what the step added to what was said.
TEST_F(Countdown, TheSecondsTickThenTheWaitForTheUploadIsShown) {
    const std::string blanks(48, ' ');
    const struct {
        const char* name;
        seconds recordTime;
        bool onTerminal;
        quorvane::upload::ColumnQuery columns;
        std::vector<CountdownStep> steps;
    } cases[] = {
        {"on a terminal, in place",
         seconds(3),
         true,
         kWide,
         {{milliseconds(0), false, milliseconds(1000), "\rrecording: 0:00 of 0:03"},
          {milliseconds(400), false, milliseconds(600), ""},
          {milliseconds(600), false, milliseconds(1000), "\rrecording: 0:01 of 0:03"},
          {milliseconds(2000), false, milliseconds(1000), "\rrecording ended; waiting for the upload"},
          {milliseconds(2500), false, milliseconds(500), "\rrecording ended 0:02 ago; waiting for the upload"},
          {milliseconds(0), true, milliseconds(500),
           "\r" + blanks + "\r\rrecording ended 0:02 ago; waiting for the upload"}}},
        {"away from a terminal, a line every 10 s and when the record time has passed",
         seconds(25),
         false,
         fixedColumns(10),
         {{milliseconds(0), false, milliseconds(10000), ""},
          {milliseconds(10000), false, milliseconds(10000), "recording: 0:10 of 0:25\n"},
          {milliseconds(10000), true, milliseconds(5000), "recording: 0:20 of 0:25\n"},
          {milliseconds(5000), false, milliseconds(10000), "recording ended; waiting for the upload\n"},
          {milliseconds(10500), false, milliseconds(9500), "recording ended 0:10 ago; waiting for the upload\n"}}},
        {"a record time of nothing is over at once",
         seconds(0),
         false,
         kWide,
         {{milliseconds(0), false, milliseconds(10000), "recording ended; waiting for the upload\n"}}},
        {"on a narrow terminal the times and the wait are kept",
         seconds(3),
         true,
         fixedColumns(20),
         {{milliseconds(0), false, milliseconds(1000), "\r0:00 of 0:03"},
          {milliseconds(4000), false, milliseconds(1000), "\rwaiting     "}}},
    };
    for (const auto& each : cases) {
        SCOPED_TRACE(each.name);
        ManualClock clock;
        quorvane::upload::RecordingCountdown countdown(clock.clock(), each.recordTime, each.onTerminal, each.columns);
        milliseconds at{0};
        for (const CountdownStep& step : each.steps) {
            at += step.advance;
            SCOPED_TRACE(at.count());
            clock.advance(step.advance);
            const std::size_t before = diagnostics().size();
            if (step.clearFirst) {
                countdown.clear();
            }
            EXPECT_EQ(countdown.update(), step.untilNext);
            EXPECT_EQ(diagnostics().substr(before), step.shown);
        }
        // The next case starts on a line of its own.
        countdown.clear();
    }
}

}  // namespace

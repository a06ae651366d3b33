#include "recording/record_picture.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "recording/level_table.h"
#include "recording/record_time.h"
#include "recording/text_file.h"
#include "recording/xml_text.h"

namespace quorvane::recording {

namespace {

constexpr double kMargin = 20;
constexpr double kPlotLeft = 160;
constexpr double kPlotWidth = static_cast<double>(kEnvelopeColumns);
// Right of the lanes: their level scale.
constexpr double kScaleWidth = 56;
constexpr double kLanesTop = 80;
constexpr double kLaneHeight = 100;
constexpr double kLaneGap = 16;
constexpr double kLanesBottom = kLanesTop + kChannelCount * (kLaneHeight + kLaneGap) - kLaneGap;
constexpr double kTableTop = kLanesBottom + 70;
constexpr double kRowHeight = 20;
constexpr double kWidth = kPlotLeft + kPlotWidth + kScaleWidth + kMargin;
constexpr double kHeight = kTableTop + (kChannelCount + 3) * kRowHeight + kMargin;
// About eight labels on the time axis, whatever the length.
constexpr double kTimeLabels = 8;

// The lanes draw each column's peak in dBFS, from kFloorDbfs on the middle
// line to 0 dBFS at the lane's edges, mirrored: a quiet microphone (-40
// dBFS) shows its signal, a silent one nothing, and a linear scale would
// have drawn both as a flat line.
constexpr double kFloorDbfs = -60;
constexpr double kLevelMarks[] = {0, -20, -40, -60};
constexpr double kClipMarkLength = 7;

constexpr const char* kEnvelopeColour = "#1f5fa8";
constexpr const char* kOkColour = "#2e7d32";
constexpr const char* kWarningColour = "#c62828";
constexpr const char* kWarningFill = "#fff1f0";

// Where each table column starts (left-aligned) or ends (right-aligned).
constexpr double kTableColumnX[kLevelColumns] = {20, 90, 310, 400, 490, 580, 660, 680};
constexpr bool kTableColumnAtEnd[kLevelColumns] = {false, false, true, true, true, true, true, false};

#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
std::string
formatted(const char* format, ...) {
    char text[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    return text;
}

bool needsALook(const ChannelSummary& channel) {
    return channel.levels && channel.levels->verdict != Verdict::Ok;
}

std::string text(double x, double y, const std::string& content, const std::string& attributes = "") {
    return formatted("<text x=\"%.1f\" y=\"%.1f\"%s>", x, y, attributes.c_str()) + xmlText(content) + "</text>\n";
}

// How far from the lane's middle a level is drawn: 0 at kFloorDbfs and
// below, half the lane (less a pixel each side) at full scale.
double levelOffset(double dbfs) {
    const double above = std::fmin(std::fmax(dbfs - kFloorDbfs, 0.0), -kFloorDbfs);
    return above / -kFloorDbfs * (kLaneHeight / 2 - 2);
}

double columnPeakDbfs(const EnvelopeColumn& column) {
    const int magnitude = std::max(std::abs(static_cast<int>(column.low)), std::abs(static_cast<int>(column.high)));
    return magnitude == 0 ? -HUGE_VAL : 20 * std::log10(magnitude / kFullScale);
}

bool clipped(const EnvelopeColumn& column) {
    return !column.empty() && (column.low == -32768 || column.high == 32767);
}

double columnX(std::size_t index, std::size_t used) {
    return kPlotLeft + (static_cast<double>(index) + 0.5) * kPlotWidth / static_cast<double>(used);
}

// One vertical stroke a column, mirrored about the middle line, as long as
// its peak's level; a column below the scale's floor draws nothing.
std::string envelopePath(const std::array<EnvelopeColumn, kEnvelopeColumns>& columns, std::size_t used,
                         double laneTop) {
    const double middle = laneTop + kLaneHeight / 2;
    std::string path;
    for (std::size_t index = 0; index < used; ++index) {
        const EnvelopeColumn& column = columns[index];
        const double offset = column.empty() ? 0 : levelOffset(columnPeakDbfs(column));
        if (offset <= 0) {
            continue;
        }
        const double half = std::fmax(offset, 0.5);
        path += formatted("M%.2f %.2fV%.2f", columnX(index, used), middle - half, middle + half);
    }
    return formatted("<path class=\"envelope\" fill=\"none\" stroke=\"%s\" stroke-width=\"%.2f\" d=\"", kEnvelopeColour,
                     kPlotWidth / static_cast<double>(used)) +
           path + "\"/>\n";
}

// Where the channel touched full scale: a red mark at both edges of the
// lane over each such column, so clipping shows where it happened.
std::string clipMarks(const std::array<EnvelopeColumn, kEnvelopeColumns>& columns, std::size_t used, double laneTop) {
    std::string path;
    for (std::size_t index = 0; index < used; ++index) {
        if (clipped(columns[index])) {
            const double x = columnX(index, used);
            path += formatted("M%.2f %.2fv%.1fM%.2f %.2fv%.1f", x, laneTop, kClipMarkLength, x,
                              laneTop + kLaneHeight - kClipMarkLength, kClipMarkLength);
        }
    }
    if (path.empty()) {
        return {};
    }
    return formatted("<path class=\"clipping\" fill=\"none\" stroke=\"%s\" stroke-width=\"%.2f\" d=\"", kWarningColour,
                     std::fmax(kPlotWidth / static_cast<double>(used), 1.0)) +
           path + "\"/>\n";
}

// Faint lines at each marked level, above and below the middle, and the
// marks' labels right of the lane.
std::string levelScale(double laneTop) {
    const double middle = laneTop + kLaneHeight / 2;
    std::string svg;
    for (double level : kLevelMarks) {
        const double offset = levelOffset(level);
        for (double y : {middle - offset, middle + offset}) {
            svg += formatted("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#eeeeee\"/>\n", kPlotLeft,
                             y, kPlotLeft + kPlotWidth, y);
        }
        svg += text(kPlotLeft + kPlotWidth + 4, middle - offset + 4, level == 0 ? "0 dBFS" : formatted("%.0f", level),
                    " font-size=\"10\" fill=\"#606060\"");
    }
    return svg;
}

// `noAudio`: not one whole frame arrived, so no lane has anything to show.
std::string lane(int number, const ChannelSummary& channel, const ChannelEnvelopes& envelopes, bool noAudio) {
    const double top = kLanesTop + (number - 1) * (kLaneHeight + kLaneGap);
    const bool warn = noAudio || needsALook(channel);
    const std::string verdict = noAudio ? "no audio" : channel.levels ? verdictText(*channel.levels) : "not measured";
    std::string svg = formatted("<g class=\"lane\" id=\"lane-%d\" data-verdict=\"%s\">\n", number,
                                channel.levels ? verdictName(channel.levels->verdict) : "none");
    svg += formatted(
        "<rect class=\"lane-area\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"%s\" "
        "stroke=\"%s\" stroke-width=\"%d\"/>\n",
        kPlotLeft, top, kPlotWidth, kLaneHeight, warn ? kWarningFill : "#ffffff", warn ? kWarningColour : "#b0b0b0",
        warn ? 2 : 1);
    svg += levelScale(top);
    svg += formatted("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#dddddd\"/>\n", kPlotLeft,
                     top + kLaneHeight / 2, kPlotLeft + kPlotWidth, top + kLaneHeight / 2);
    if (noAudio) {
        svg += text(kPlotLeft + kPlotWidth / 2, top + kLaneHeight / 2 + 5, "no audio",
                    formatted(" text-anchor=\"middle\" fill=\"%s\"", kWarningColour));
    } else if (envelopes.columns != 0) {
        svg += envelopePath(envelopes.channels[number - 1], envelopes.columns, top);
        svg += clipMarks(envelopes.channels[number - 1], envelopes.columns, top);
    }
    svg += text(kMargin, top + 40, "channel " + std::to_string(number), " font-weight=\"bold\"");
    svg += text(kMargin, top + 60, verdict, formatted(" fill=\"%s\"", warn ? kWarningColour : kOkColour));
    return svg + "</g>\n";
}

// 1, 2 or 5 times a power of ten, so the labels read as round numbers.
double timeStep(double seconds) {
    const double rough = seconds / kTimeLabels;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (double factor : {1.0, 2.0, 5.0}) {
        if (factor * power >= rough) {
            return factor * power;
        }
    }
    return 10 * power;
}

std::string timeAxis(const ChannelEnvelopes& envelopes) {
    const double seconds = static_cast<double>(envelopes.expectedFrames) / kFramesPerSecond;
    const double y = kLanesBottom + 8;
    std::string svg = formatted(
        "<g class=\"time-axis\">\n<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" "
        "stroke=\"#404040\"/>\n",
        kPlotLeft, y, kPlotLeft + kPlotWidth, y);
    const double step = seconds > 0 ? timeStep(seconds) : 1;
    for (int tick = 0; tick * step <= seconds * (1 + 1e-9); ++tick) {
        const double x = kPlotLeft + (seconds > 0 ? tick * step / seconds * kPlotWidth : 0);
        svg +=
            formatted("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#404040\"/>\n", x, y, x, y + 5);
        const auto at = std::chrono::milliseconds(std::llround(tick * step * 1000));
        svg += text(x, y + 20, clockText(at, step < 1 ? 1 : 0), " text-anchor=\"middle\"");
    }
    svg += text(kPlotLeft + kPlotWidth, y + 40, "time", " text-anchor=\"end\" fill=\"#606060\"");
    return svg + "</g>\n";
}

std::string tableRow(const LevelRow& cells, double y, const char* verdictColour) {
    std::string svg;
    for (std::size_t column = 0; column < kLevelColumns; ++column) {
        std::string attributes = kTableColumnAtEnd[column] ? " text-anchor=\"end\"" : "";
        if (column + 1 == kLevelColumns && verdictColour != nullptr) {
            attributes += formatted(" fill=\"%s\"", verdictColour);
        }
        svg += text(kTableColumnX[column], y, cells[column], attributes);
    }
    return svg;
}

std::string levelTable(const RecordSummary& summary) {
    std::string svg = "<g class=\"levels\" font-family=\"monospace\" font-size=\"13\">\n";
    svg += tableRow(levelHeadings(), kTableTop, nullptr);
    for (int number = 1; number <= kChannelCount; ++number) {
        const ChannelSummary& channel = summary.channels[number - 1];
        svg += tableRow(levelRow(number, channel), kTableTop + number * kRowHeight,
                        needsALook(channel) ? kWarningColour : nullptr);
    }
    svg += text(kTableColumnX[0], kTableTop + (kChannelCount + 1) * kRowHeight + 6,
                "levels in dBFS, 0 dBFS = full scale (32768); verdicts other than ok are marked in red",
                " fill=\"#606060\"");
    svg += text(kTableColumnX[0], kTableTop + (kChannelCount + 2) * kRowHeight + 6,
                "lanes: each moment's peak, -60 dBFS on the middle line to 0 dBFS at the edges; red marks: clipping",
                " fill=\"#606060\"");
    return svg + "</g>\n";
}

// What tells two runs apart: the tool, when, and the port and network as far
// as they are known (a conversion knows them only from the run's record.json).
std::string runFacts(const RecordSummary& summary) {
    std::string facts = "quorvane-capture " + summary.toolVersion + "   " + utcTimestamp(summary.startedAt);
    if (!summary.port.empty()) {
        facts += "   port " + summary.port;
    }
    if (!summary.networkName.empty()) {
        facts += "   network " + summary.networkName;
    }
    return facts;
}

std::string heading(const RecordSummary& summary) {
    std::string svg =
        text(kMargin, 26, summary.recording + ": four channels at 16 kHz", " font-size=\"17\" font-weight=\"bold\"");
    const char* colour = recordingCutShort(summary) ? kWarningColour : "#202020";
    svg += text(kMargin, 46, durationLine(summary), formatted(" fill=\"%s\"", colour));
    return svg + text(kMargin, 64, runFacts(summary), " class=\"run-facts\" fill=\"#606060\"");
}

}  // namespace

std::string recordPictureSvg(const RecordSummary& summary, const ChannelEnvelopes& envelopes) {
    std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    svg += formatted(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" viewBox=\"0 0 %.0f %.0f\" "
        "font-family=\"sans-serif\" font-size=\"13\">\n",
        kWidth, kHeight, kWidth, kHeight);
    svg += "<title>Recording check</title>\n";
    svg += formatted("<rect width=\"%.0f\" height=\"%.0f\" fill=\"#ffffff\"/>\n", kWidth, kHeight);
    svg += heading(summary);
    const bool noAudio = wholeFrames(summary.bytesReceived) == 0;
    for (int number = 1; number <= kChannelCount; ++number) {
        svg += lane(number, summary.channels[number - 1], envelopes, noAudio);
    }
    svg += timeAxis(envelopes);
    svg += levelTable(summary);
    return svg + "</svg>\n";
}

int writeRecordPicture(const std::string& path, const RecordSummary& summary, const ChannelEnvelopes& envelopes) {
    return writeTextFile(path, recordPictureSvg(summary, envelopes));
}

}  // namespace quorvane::recording

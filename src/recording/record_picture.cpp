#include "recording/record_picture.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>

#include "recording/level_table.h"
#include "recording/text_file.h"

namespace quorvane::recording {

namespace {

constexpr double kMargin = 20;
constexpr double kPlotLeft = 160;
constexpr double kPlotWidth = static_cast<double>(kEnvelopeColumns);
constexpr double kLanesTop = 60;
constexpr double kLaneHeight = 100;
constexpr double kLaneGap = 16;
constexpr double kLanesBottom = kLanesTop + kChannelCount * (kLaneHeight + kLaneGap) - kLaneGap;
constexpr double kTableTop = kLanesBottom + 70;
constexpr double kRowHeight = 20;
constexpr double kWidth = kPlotLeft + kPlotWidth + kMargin;
constexpr double kHeight = kTableTop + (kChannelCount + 2) * kRowHeight + kMargin;
// About eight labels on the time axis, whatever the length.
constexpr double kTimeLabels = 8;

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

constexpr const char* kReplacementCharacter = "\xEF\xBF\xBD";

// The bytes of a character XML 1.0 does not allow at text[at] (a C0 control
// other than tab, LF and CR, or U+FFFE or U+FFFF), or 0. No parser reads a
// picture that holds one, and a file name may hold any of them.
std::size_t forbiddenInXml(const std::string& text, std::size_t at) {
    const auto byte = static_cast<unsigned char>(text[at]);
    if (byte < 0x20) {
        return byte == '\t' || byte == '\n' || byte == '\r' ? 0 : 1;
    }
    const bool nonCharacter = text.compare(at, 3, "\xEF\xBF\xBE") == 0 || text.compare(at, 3, "\xEF\xBF\xBF") == 0;
    return nonCharacter ? 3 : 0;
}

const char* markupEscape(char c) {
    switch (c) {
        case '&':
            return "&amp;";
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        case '"':
            return "&quot;";
        default:
            return nullptr;
    }
}

// Valid UTF-8 with markup escaped and what XML forbids replaced by U+FFFD.
std::string escaped(const std::string& raw) {
    const std::string text = validUtf8(raw);
    std::string result;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t forbidden = forbiddenInXml(text, at);
        const char* markup = markupEscape(text[at]);
        if (forbidden != 0) {
            result += kReplacementCharacter;
        } else {
            result += markup != nullptr ? markup : text.substr(at, 1);
        }
        at += forbidden != 0 ? forbidden : 1;
    }
    return result;
}

bool needsALook(const ChannelSummary& channel) {
    return channel.levels && channel.levels->verdict != Verdict::Ok;
}

std::string text(double x, double y, const std::string& content, const std::string& attributes = "") {
    return formatted("<text x=\"%.1f\" y=\"%.1f\"%s>", x, y, attributes.c_str()) + escaped(content) + "</text>\n";
}

// One vertical stroke a column from its highest to its lowest sample, at
// least a pixel long; a column of zeros draws nothing.
std::string envelopePath(const std::array<EnvelopeColumn, kEnvelopeColumns>& columns, std::size_t used,
                         double laneTop) {
    const double middle = laneTop + kLaneHeight / 2;
    const double scale = (kLaneHeight / 2 - 2) / kFullScale;
    const double width = kPlotWidth / static_cast<double>(used);
    std::string path;
    for (std::size_t index = 0; index < used; ++index) {
        const EnvelopeColumn& column = columns[index];
        if (column.empty() || (column.low == 0 && column.high == 0)) {
            continue;
        }
        const double top = middle - column.high * scale;
        const double bottom = std::fmax(middle - column.low * scale, top + 1);
        path += formatted("M%.2f %.2fV%.2f", kPlotLeft + (static_cast<double>(index) + 0.5) * width, top, bottom);
    }
    return formatted("<path class=\"envelope\" fill=\"none\" stroke=\"%s\" stroke-width=\"%.2f\" d=\"", kEnvelopeColour,
                     width) +
           path + "\"/>\n";
}

std::string lane(int number, const ChannelSummary& channel, const ChannelEnvelopes& envelopes) {
    const double top = kLanesTop + (number - 1) * (kLaneHeight + kLaneGap);
    const bool warn = needsALook(channel);
    const std::string verdict = channel.levels ? verdictText(*channel.levels) : "not measured";
    std::string svg = formatted("<g class=\"lane\" id=\"lane-%d\" data-verdict=\"%s\">\n", number,
                                channel.levels ? verdictName(channel.levels->verdict) : "none");
    svg += formatted(
        "<rect class=\"lane-area\" x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"%s\" "
        "stroke=\"%s\" stroke-width=\"%d\"/>\n",
        kPlotLeft, top, kPlotWidth, kLaneHeight, warn ? kWarningFill : "#ffffff", warn ? kWarningColour : "#b0b0b0",
        warn ? 2 : 1);
    svg += formatted("<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#dddddd\"/>\n", kPlotLeft,
                     top + kLaneHeight / 2, kPlotLeft + kPlotWidth, top + kLaneHeight / 2);
    if (envelopes.columns != 0) {
        svg += envelopePath(envelopes.channels[number - 1], envelopes.columns, top);
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
        svg += text(x, y + 20, formatted("%g s", tick * step), " text-anchor=\"middle\"");
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
    return svg + "</g>\n";
}

std::string heading(const RecordSummary& summary) {
    std::string svg =
        text(kMargin, 26, summary.recording + ": four channels at 16 kHz", " font-size=\"17\" font-weight=\"bold\"");
    const char* colour = recordingCutShort(summary) ? kWarningColour : "#202020";
    return svg + text(kMargin, 46, durationLine(summary), formatted(" fill=\"%s\"", colour));
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
    for (int number = 1; number <= kChannelCount; ++number) {
        svg += lane(number, summary.channels[number - 1], envelopes);
    }
    svg += timeAxis(envelopes);
    svg += levelTable(summary);
    return svg + "</svg>\n";
}

int writeRecordPicture(const std::string& path, const RecordSummary& summary, const ChannelEnvelopes& envelopes) {
    return writeTextFile(path, recordPictureSvg(summary, envelopes));
}

}  // namespace quorvane::recording

#include "station/station_table.h"

#include <algorithm>

#include "recording/record_time.h"
#include "recording/text_table.h"

namespace quorvane::station {

namespace {

// The time's figures line up on the right, the names on the left.
constexpr std::array<bool, kStationColumns> kLeftAligned = {true, true, false, true, true};

// The outcome comes last: a failure's reason is the one long text, and the
// last column is the one that can go on under itself.
constexpr std::size_t kOutcomeColumn = 4;

// What a narrow terminal leaves out, first to last, until the table fits:
// the address (the device's record.json has it), the time, then the channels
// (the device's level table showed them). Port and outcome always stay.
constexpr std::array<std::size_t, 3> kDroppedFirst = {1, 2, 3};

// The outcome goes on under itself rather than push out another column
// while it keeps this many columns; below it, columns are left out.
constexpr std::size_t kWrappedOutcome = 30;

// An outcome with less room than this is left to the terminal to wrap: a
// column of a few characters would be harder to read than a wrapped line.
constexpr std::size_t kNarrowestWrap = 12;

using recording::kColumnGap;
using recording::textColumns;
using Widths = recording::ColumnWidths<kStationColumns>;
using Shown = recording::ShownColumns<kStationColumns>;

// Every column when `columns` is 0 (not a terminal), else as many as fit
// with the outcome wrapped.
Shown fittingColumns(Widths widths, std::size_t columns) {
    widths[kOutcomeColumn] = std::min(widths[kOutcomeColumn], kWrappedOutcome);
    return recording::fittingColumns(widths, kDroppedFirst, columns);
}

// Where `text` breaks to be at most `width` columns: at the last space that
// fits, else at the width (never inside a UTF-8 sequence).
std::size_t breakPoint(const std::string& text, std::size_t width) {
    std::size_t end = 0;
    for (std::size_t columns = 0; end < text.size(); ++end) {
        if ((text[end] & 0xC0) != 0x80 && columns++ == width) {
            break;
        }
    }
    const std::size_t space = text.rfind(' ', end);
    return space != std::string::npos && space > 0 ? space : end;
}

// A `width` of 0 (not a terminal) keeps the cell on one line.
std::vector<std::string> wrappedCell(std::string text, std::size_t width) {
    std::vector<std::string> lines;
    while (width >= kNarrowestWrap && textColumns(text) > width) {
        const std::size_t cut = breakPoint(text, width);
        lines.push_back(text.substr(0, cut));
        text.erase(0, text[cut] == ' ' ? cut + 1 : cut);
    }
    lines.push_back(text);
    return lines;
}

std::string padded(const std::string& cell, std::size_t width, bool left) {
    const std::string padding(width - std::min(width, textColumns(cell)), ' ');
    return left ? cell + padding : padding + cell;
}

std::string tableLines(const StationRow& cells, const Widths& widths, const Shown& shown, std::size_t columns) {
    std::string line;
    std::size_t indent = 0;
    for (std::size_t column = 0; column < kOutcomeColumn; ++column) {
        if (shown[column]) {
            line += padded(cells[column], widths[column], kLeftAligned[column]) + std::string(kColumnGap, ' ');
            indent += widths[column] + kColumnGap;
        }
    }
    const std::size_t room = columns > indent ? columns - indent : 0;
    const std::vector<std::string> parts = wrappedCell(cells[kOutcomeColumn], room);
    std::string text = line + parts.front() + "\n";
    for (std::size_t part = 1; part < parts.size(); ++part) {
        text += std::string(indent, ' ') + parts[part] + "\n";
    }
    return text;
}

}  // namespace

const StationRow& stationHeadings() {
    static const StationRow headings = {"port", "address", "time", "channels not ok", "outcome"};
    return headings;
}

StationRow stationRow(const DeviceState& device) {
    const std::string channels = channelsNotOk(device);
    return {oneLine(device.port), device.deviceAddress.empty() ? "-" : oneLine(device.deviceAddress),
            device.endedAt ? recording::clockText(*device.endedAt) : "-", channels.empty() ? "-" : channels,
            oneLine(outcomeText(device))};
}

std::string stationCountLine(const std::vector<DeviceState>& devices) {
    const auto stored = std::count_if(devices.begin(), devices.end(), [](const DeviceState& device) {
        return device.stage == DeviceStage::Ended && device.stored;
    });
    const auto warned = std::count_if(devices.begin(), devices.end(),
                                      [](const DeviceState& device) { return !channelsNotOk(device).empty(); });
    std::string line = "station: " + std::to_string(stored) + " of " + std::to_string(devices.size()) +
                       (devices.size() == 1 ? " recording stored" : " recordings stored");
    return warned == 0 ? line : line + ", " + std::to_string(warned) + " with channels that are not ok";
}

std::string formatStationTable(const std::vector<DeviceState>& devices, std::size_t columns) {
    std::vector<StationRow> rows;
    for (const DeviceState& device : devices) {
        rows.push_back(stationRow(device));
    }
    const Widths widths = recording::columnWidths(stationHeadings(), rows);
    const Shown shown = fittingColumns(widths, columns);
    std::string table = tableLines(stationHeadings(), widths, shown, columns);
    for (const StationRow& row : rows) {
        table += tableLines(row, widths, shown, columns);
    }
    return table + stationCountLine(devices) + "\n";
}

}  // namespace quorvane::station

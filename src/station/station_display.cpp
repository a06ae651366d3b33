#include "station/station_display.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "platform/diagnostics.h"
#include "platform/terminal.h"
#include "recording/record_time.h"
#include "recording/text_table.h"

namespace quorvane::station {

namespace {

using recording::textColumns;

constexpr int kUnknownTerminalColumns = 80;
constexpr const char* kClearLine = "\x1b[2K";
constexpr const char* kNoAddress = "-";

std::string cursorUp(std::size_t lines) {
    return "\x1b[" + std::to_string(lines) + "A";
}

std::string shownAddress(const DeviceState& device) {
    return device.deviceAddress.empty() ? kNoAddress : oneLine(device.deviceAddress);
}

std::string padded(const std::string& text, std::size_t width) {
    return text + std::string(width - std::min(width, textColumns(text)), ' ');
}

// The first `columns` characters of `text`.
std::string cut(const std::string& text, std::size_t columns) {
    std::size_t end = 0;
    for (std::size_t counted = 0; end < text.size(); ++end) {
        if ((text[end] & 0xC0) != 0x80 && counted++ == columns) {
            break;
        }
    }
    return text.substr(0, end);
}

unsigned uploadPercent(const DeviceState& device) {
    const std::uint64_t received = std::min(device.bytesReceived, device.bytesExpected);
    return static_cast<unsigned>(received * 100 / device.bytesExpected);
}

std::string withChannels(const std::string& outcome, const DeviceState& device) {
    const std::string channels = channelsNotOk(device);
    return channels.empty() ? outcome : outcome + "; " + channels;
}

struct Widths {
    std::size_t port = 0;
    std::size_t address = 0;
};

// The ports and addresses line up in columns of their own.
Widths columnWidths(const std::vector<DeviceState>& devices) {
    Widths widths;
    for (const DeviceState& device : devices) {
        widths.port = std::max(widths.port, textColumns(oneLine(device.port)));
        widths.address = std::max(widths.address, textColumns(shownAddress(device)));
    }
    return widths;
}

// A line too wide for the terminal leaves out the address first (the end
// table and station.json have it), then the channels not ok, and is cut
// only when the state itself does not fit.
std::string deviceLine(const DeviceState& device, const Widths& widths, std::size_t columns) {
    const std::string channels = channelsNotOk(device);
    const std::string port = padded(oneLine(device.port), widths.port) + "  ";
    const std::string address = padded(shownAddress(device), widths.address) + "  ";
    const std::string state = oneLine(progressText(device));
    const std::string stateAndChannels = channels.empty() ? state : state + "; " + channels;
    for (const std::string& line : {port + address + stateAndChannels, port + stateAndChannels}) {
        if (textColumns(line) <= columns) {
            return line;
        }
    }
    return cut(port + state, columns);
}

}  // namespace

void writeToStandardError(const std::string& text) {
    platform::showText("%s", text.c_str());
}

bool standardErrorRedraws() {
    return platform::diagnosticsOnTerminal() && platform::enableTerminalSequences(stderr);
}

std::string progressText(const DeviceState& device) {
    switch (device.stage) {
        case DeviceStage::Recording:
            return "recording " + recording::clockText(device.recorded) +
                   (device.recordTime.count() > 0 ? " of " + recording::clockText(device.recordTime) : "");
        case DeviceStage::Uploading:
            return device.bytesExpected > 0 ? "uploading " + std::to_string(uploadPercent(device)) + " %"
                                            : "uploading " + platform::byteCount(device.bytesReceived);
        default:
            return outcomeText(device);
    }
}

std::string stageText(const DeviceState& device) {
    switch (device.stage) {
        case DeviceStage::Recording:
            return device.recordTime.count() > 0 ? "recording for " + recording::clockText(device.recordTime)
                                                 : "recording";
        case DeviceStage::Ended:
            return withChannels(outcomeText(device), device);
        default:
            return stageName(device.stage);
    }
}

StationDisplay::StationDisplay(bool redraw, upload::ColumnQuery columns, TextWriter write)
    : redraw_(redraw), columns_(std::move(columns)), write_(std::move(write)) {}

// Lines that would say what they say already are not drawn again.
void StationDisplay::show(const std::vector<DeviceState>& devices) {
    if (!redraw_) {
        const std::string lines = changedLines(devices);
        if (!lines.empty()) {
            write_(lines);
        }
        return;
    }
    const std::string text = redrawn(devices);
    if (text == shown_ && linesShown_ == devices.size()) {
        return;
    }
    write_((linesShown_ > 0 ? cursorUp(linesShown_) : "") + text);
    shown_ = text;
    linesShown_ = devices.size();
}

void StationDisplay::release() {
    linesShown_ = 0;
    shown_.clear();
}

// Each line is cleared before it is written, since the one it replaces may
// have been longer.
std::string StationDisplay::redrawn(const std::vector<DeviceState>& devices) const {
    const Widths widths = columnWidths(devices);
    const std::size_t limit = widthLimit();
    std::string text;
    for (const DeviceState& device : devices) {
        text += kClearLine + deviceLine(device, widths, limit) + "\n";
    }
    return text;
}

std::string StationDisplay::changedLines(const std::vector<DeviceState>& devices) {
    written_.resize(devices.size());
    std::string text;
    for (std::size_t index = 0; index < devices.size(); ++index) {
        const std::string stage = oneLine(stageText(devices[index]));
        if (stage != written_[index]) {
            const std::string address =
                devices[index].deviceAddress.empty() ? "" : " (" + shownAddress(devices[index]) + ")";
            text += oneLine(devices[index].port) + address + ": " + stage + "\n";
            written_[index] = stage;
        }
    }
    return text;
}

// A line that reaches a terminal's last column moves the cursor on to the
// next row on some terminals (the Windows console), which would throw the
// count of lines to move up out: each line stays a column short of it.
std::size_t StationDisplay::widthLimit() const {
    const int known = columns_ ? columns_() : 0;
    return static_cast<std::size_t>(std::max(known > 0 ? known : kUnknownTerminalColumns, 2) - 1);
}

}  // namespace quorvane::station

#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "station/device_state.h"
#include "upload/status_line.h"

namespace quorvane::station {

// Puts text on the console as it is given.
using TextWriter = std::function<void(const std::string&)>;

// Writes `text` on standard error through the console writer.
void writeToStandardError(const std::string& text);

// Whether standard error is a terminal whose lines can be redrawn in place:
// one that acts on ANSI escape sequences (on Windows, turned on here). Ask
// before the console writer's thread starts: a held console answers no
// question.
bool standardErrorRedraws();

// A device's state as its line shows it: "opening", "joining", "recording
// 0:12 of 0:30", "uploading 43 %" (the bytes when the size is not known),
// "converting", "ok" or "failed: <reason>".
std::string progressText(const DeviceState& device);

// The same without the figures that change as it goes, for a line written
// once a stage: "recording for 0:30", "uploading", ...
std::string stageText(const DeviceState& device);

// One line a device on standard error. On a terminal every line is redrawn
// in place each time, fitted to the terminal's width (asked anew each time)
// so that none wraps: port, address, state and the channels that are not
// ok, the address left out first and the channels next when the line is too
// wide, and the state cut last. Anywhere else (a log file, a pipe) a device gets a whole line of its
// own, after its port, each time its stage or outcome changes, and none for
// progress.
class StationDisplay {
public:
    StationDisplay(bool redraw, upload::ColumnQuery columns = upload::standardErrorColumns,
                   TextWriter write = writeToStandardError);

    // Shows `devices`: the same devices in the same order each time.
    void show(const std::vector<DeviceState>& devices);

    // Other text is about to be written below the lines: the next show draws
    // them anew under it instead of over it.
    void release();

private:
    std::string redrawn(const std::vector<DeviceState>& devices) const;
    std::string changedLines(const std::vector<DeviceState>& devices);
    std::size_t widthLimit() const;

    bool redraw_;
    upload::ColumnQuery columns_;
    TextWriter write_;
    // On a terminal: how many lines stand above the cursor, and what they say.
    std::size_t linesShown_ = 0;
    std::string shown_;
    // Away from one: each device's stage text as last written.
    std::vector<std::string> written_;
};

}  // namespace quorvane::station

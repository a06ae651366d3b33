#pragma once

#include <sstream>
#include <string>

namespace quorvane::emulator {

// Writes one line to standard error, stamped with the seconds since start, in
// a single call so that lines from the upload thread never interleave.
void writeLogLine(const std::string& text);

template <typename... Parts>
void log(const Parts&... parts) {
    std::ostringstream line;
    (line << ... << parts);
    writeLogLine(line.str());
}

// Prints one line on standard output and flushes it: tests read these lines
// (the port path, the upload's pause marker) while the emulator runs.
void announce(const std::string& line);

}  // namespace quorvane::emulator

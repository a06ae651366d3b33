#pragma once

#include <sstream>
#include <string>

namespace quorvane::emulator {

// While it lives, the log lines and announcements this thread writes start
// with name ("device 2: "); an empty name adds nothing. A thread that works
// for a device takes its starter's name (logName()).
class LogNameScope {
public:
    explicit LogNameScope(std::string name);
    ~LogNameScope();
    LogNameScope(const LogNameScope&) = delete;
    LogNameScope& operator=(const LogNameScope&) = delete;

private:
    std::string previous_;
};

const std::string& logName();

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

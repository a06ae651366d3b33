#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace quorvane::emulator {

enum class CommandKind { HeartBeat, WifiConnect, UploadRecord, Unknown };

// What the device understood from one request line of the host.
struct Request {
    CommandKind kind = CommandKind::Unknown;
    std::string ssid;
    std::string passphrase;
    std::string uploadAddress;
    std::string recordTime;
};

// Parses one line, with or without its line end. Never fails: anything that
// is not one of the three commands is Unknown.
Request parseRequest(const std::string& line);

const char* commandName(CommandKind kind);

// Cuts the host's byte stream into lines ending with LF, each returned with
// its line end. A line that grows past the limit without an LF is returned
// as it is, so garbage on the line cannot make the buffer grow without end.
class LineSplitter {
public:
    static constexpr std::size_t kMaxLineBytes = 64 * 1024;

    std::vector<std::string> feed(const char* data, std::size_t size);
    void reset();

private:
    std::string partial_;
};

}  // namespace quorvane::emulator

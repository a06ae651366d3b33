#pragma once

#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "device_emulator/request.h"

namespace quorvane::emulator {

// "<QRVN_ACK_NAME>" + payload + "<QRVN_ACK_NAME_END>", with the CR LF a
// device console puts around what it prints. Unknown commands get no frame.
std::string ackFrame(CommandKind kind, const std::string& payload);

// Cuts text into pieces of at most pieceBytes bytes; 0 keeps it whole.
std::vector<std::string> splitIntoPieces(const std::string& text, std::size_t pieceBytes);

// Console lines a device prints around its answer to a command.
std::string consoleLineBefore(CommandKind kind, std::int64_t uptimeMs);
std::string consoleLineAfter(CommandKind kind, std::int64_t uptimeMs);

// The periodic status line of a chatty device.
std::string chatterLine(std::int64_t uptimeMs);

// Random bytes, NUL included, as a glitching serial line delivers them.
class NoiseSource {
public:
    explicit NoiseSource(std::uint32_t seed);

    std::string next(std::size_t size);

private:
    std::mt19937 generator_;
};

}  // namespace quorvane::emulator

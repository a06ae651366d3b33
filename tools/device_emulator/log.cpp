#include "device_emulator/log.h"

#include <chrono>
#include <cstdio>

namespace quorvane::emulator {

namespace {

const auto kStart = std::chrono::steady_clock::now();

double secondsSinceStart() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - kStart).count();
}

}  // namespace

void writeLogLine(const std::string& text) {
    std::fprintf(stderr, "device-emulator [%8.3f] %s\n", secondsSinceStart(), text.c_str());
}

void announce(const std::string& line) {
    std::fprintf(stdout, "%s\n", line.c_str());
    std::fflush(stdout);
}

}  // namespace quorvane::emulator

#include "device_emulator/log.h"

#include <chrono>
#include <cstdio>
#include <utility>

namespace quorvane::emulator {

namespace {

const auto kStart = std::chrono::steady_clock::now();

thread_local std::string threadName;

std::string named(const std::string& text) {
    return threadName.empty() ? text : threadName + ": " + text;
}

double secondsSinceStart() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - kStart).count();
}

}  // namespace

LogNameScope::LogNameScope(std::string name) : previous_(std::exchange(threadName, std::move(name))) {}

LogNameScope::~LogNameScope() {
    threadName = std::move(previous_);
}

const std::string& logName() {
    return threadName;
}

void writeLogLine(const std::string& text) {
    std::fprintf(stderr, "device-emulator [%8.3f] %s\n", secondsSinceStart(), named(text).c_str());
}

void announce(const std::string& line) {
    std::fprintf(stdout, "%s\n", named(line).c_str());
    std::fflush(stdout);
}

}  // namespace quorvane::emulator

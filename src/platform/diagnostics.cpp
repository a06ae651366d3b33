#include "platform/diagnostics.h"

#include "platform/text_stream.h"

#include <atomic>
#include <cstdarg>
#include <mutex>
#include <vector>

namespace quorvane::platform {

namespace {

constexpr const char* kPrefix = "quorvane-capture: ";

std::atomic<std::FILE*> g_diagnosticStream{nullptr};

// Never destroyed: a detached audio thread may still report while the
// process exits.
std::mutex& diagnosticMutex() {
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}

std::string formatted(const char* format, va_list arguments) {
    va_list measuring;
    va_copy(measuring, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    if (length <= 0) {
        return {};
    }
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, arguments);
    return std::string(text.data(), static_cast<std::size_t>(length));
}

void write(const char* prefix, const char* format, va_list arguments) {
    const std::string text = prefix + formatted(format, arguments);
    std::FILE* chosen = g_diagnosticStream.load();
    std::FILE* stream = chosen != nullptr ? chosen : stderr;
    std::lock_guard<std::mutex> lock(diagnosticMutex());
    putText(stream, text);
}

}  // namespace

void setDiagnosticStream(std::FILE* stream) {
    g_diagnosticStream = stream;
}

void diagnose(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    write(kPrefix, format, arguments);
    va_end(arguments);
}

void showText(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    write("", format, arguments);
    va_end(arguments);
}

}  // namespace quorvane::platform

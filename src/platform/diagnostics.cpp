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
// Guarded by diagnosticMutex().
std::string g_statusEraser;

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

std::FILE* diagnosticStream() {
    std::FILE* chosen = g_diagnosticStream.load();
    return chosen != nullptr ? chosen : stderr;
}

}  // namespace

void setDiagnosticStream(std::FILE* stream) {
    std::lock_guard<std::mutex> lock(diagnosticMutex());
    g_diagnosticStream = stream;
    // No line of status stands on a stream just chosen.
    g_statusEraser.clear();
}

void diagnose(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::string text = formatted(format, arguments);
    va_end(arguments);
    std::lock_guard<std::mutex> lock(diagnosticMutex());
    putText(diagnosticStream(), g_statusEraser + kPrefix + text);
    g_statusEraser.clear();
}

void showText(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const std::string text = formatted(format, arguments);
    va_end(arguments);
    std::lock_guard<std::mutex> lock(diagnosticMutex());
    putText(diagnosticStream(), text);
}

void showStatus(const std::string& text, const std::string& eraser) {
    std::lock_guard<std::mutex> lock(diagnosticMutex());
    putText(diagnosticStream(), text);
    g_statusEraser = eraser;
}

}  // namespace quorvane::platform

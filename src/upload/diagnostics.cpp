#include "upload/diagnostics.h"

#include <atomic>
#include <cstdarg>
#include <mutex>

namespace upload {

namespace {

std::atomic<std::FILE*> g_diagnosticStream{nullptr};

// Never destroyed: a detached audio thread may still report while the
// process exits.
std::mutex& diagnosticMutex() {
    static std::mutex* mutex = new std::mutex;
    return *mutex;
}

}  // namespace

void setDiagnosticStream(std::FILE* stream) {
    g_diagnosticStream = stream;
}

namespace {

void write(const char* prefix, const char* format, va_list arguments) {
    std::FILE* chosen = g_diagnosticStream.load();
    std::FILE* stream = chosen != nullptr ? chosen : stderr;
    std::lock_guard<std::mutex> lock(diagnosticMutex());
    std::fputs(prefix, stream);
    std::vfprintf(stream, format, arguments);
    std::fflush(stream);
}

}  // namespace

void diagnose(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    write("quorvane-capture: ", format, arguments);
    va_end(arguments);
}

void showProgressText(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    write("", format, arguments);
    va_end(arguments);
}

}  // namespace upload

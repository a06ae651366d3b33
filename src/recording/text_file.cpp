#include "recording/text_file.h"

#include <cerrno>
#include <cstdio>

namespace quorvane::recording {

namespace {

int capturedError() {
    return errno != 0 ? errno : EIO;
}

}  // namespace

int writeTextFile(const std::string& path, const std::string& text) {
    errno = 0;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        return capturedError();
    }
    const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    const int writeError = written ? 0 : capturedError();
    // Closing flushes the buffer, so a full disk may show only here.
    errno = 0;
    const bool closed = std::fclose(file) == 0;
    if (!written) {
        return writeError;
    }
    return closed ? 0 : capturedError();
}

}  // namespace quorvane::recording

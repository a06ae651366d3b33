#include <cerrno>

#include "platform/secret_input.h"

namespace quorvane::platform {

namespace {

// Editors on Windows start a UTF-8 file with this mark; it is no part of the
// text.
constexpr const char* kUtf8ByteOrderMark = "\xEF\xBB\xBF";

// Notepad's "Unicode" and Windows PowerShell's > write UTF-16: a byte-order
// mark, and a NUL byte beside every ASCII character.
bool isUtf16(const std::string& text) {
    return text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0 ||
           text.find('\0') != std::string::npos;
}

void takeEncodingIntoAccount(SecretLine& line) {
    if (line.text.compare(0, 3, kUtf8ByteOrderMark) == 0) {
        line.text.erase(0, 3);
    } else if (isUtf16(line.text)) {
        line.outcome = SecretLine::Outcome::Utf16;
        line.text.clear();
    }
}

}  // namespace

SecretLine readLineFrom(std::FILE* stream) {
    SecretLine line;
    bool sawAnything = false;
    int byte = 0;
    while ((byte = std::getc(stream)) != EOF) {
        sawAnything = true;
        if (byte == '\n') {
            break;
        }
        line.text.push_back(static_cast<char>(byte));
    }
    if (byte == EOF && std::ferror(stream)) {
        line.outcome = SecretLine::Outcome::Failed;
        line.error = std::error_code(errno, std::generic_category());
        return line;
    }
    if (byte == '\n' && !line.text.empty() && line.text.back() == '\r') {
        line.text.pop_back();
    }
    line.outcome = sawAnything ? SecretLine::Outcome::Read : SecretLine::Outcome::NoLine;
    takeEncodingIntoAccount(line);
    return line;
}

}  // namespace quorvane::platform

#include <cerrno>

#include "platform/secret_input.h"

namespace quorvane::platform {

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
    return line;
}

}  // namespace quorvane::platform

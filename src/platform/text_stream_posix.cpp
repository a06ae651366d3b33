#include "platform/text_stream.h"

namespace quorvane::platform {

void putText(std::FILE* stream, const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
}

}  // namespace quorvane::platform

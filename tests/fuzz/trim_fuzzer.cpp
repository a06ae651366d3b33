// trim on arbitrary bytes, checked against a byte-by-byte reading of what it
// may remove.
#include <cstddef>
#include <cstdint>
#include <string>

#include "property.h"
#include "protocol/text.h"

namespace {

using fuzzing::require;

bool isSeparator(char byte) {
    return byte == ' ' || byte == '\r' || byte == '\n' || byte == '\t';
}

std::size_t leadingSeparators(const std::string& text) {
    std::size_t count = 0;
    while (count < text.size() && isSeparator(text[count])) {
        ++count;
    }
    return count;
}

std::size_t trailingSeparators(const std::string& text) {
    std::size_t count = 0;
    while (count < text.size() && isSeparator(text[text.size() - 1 - count])) {
        ++count;
    }
    return count;
}

void checkTrimmed(const std::string& input, const std::string& trimmed) {
    const std::size_t leading = leadingSeparators(input);
    if (leading == input.size()) {
        require(trimmed == input, "a text made only of separators is left unchanged");
        return;
    }
    require(input.find(trimmed) != std::string::npos, "the result is a part of the input");
    require(!isSeparator(trimmed.front()) && !isSeparator(trimmed.back()),
            "the result neither starts nor ends with a separator");
    const std::size_t kept = input.size() - leading - trailingSeparators(input);
    require(trimmed == input.substr(leading, kept),
            "only the separators at both ends go; every byte between them stays as it was");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    std::string text = input;
    require(&trim(text) == &text, "trim works in place and returns its argument");
    checkTrimmed(input, text);
    std::string again = text;
    require(trim(again) == text, "trimming twice gives what trimming once gave");
    return 0;
}

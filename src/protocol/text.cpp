#include "protocol/text.h"

namespace {

constexpr const char* kTrimmedCharacters = " \r\n\t";

}  // namespace

std::string& trim(std::string& text) {
    const auto last = text.find_last_not_of(kTrimmedCharacters);
    if (last != std::string::npos) {
        text.erase(last + 1);
    }
    const auto first = text.find_first_not_of(kTrimmedCharacters);
    if (first != std::string::npos && first != 0) {
        text.erase(0, first);
    }
    return text;
}

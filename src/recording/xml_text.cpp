#include "recording/xml_text.h"

#include "recording/record_summary.h"

namespace quorvane::recording {

namespace {

constexpr const char* kReplacementCharacter = "\xEF\xBF\xBD";

// A well-formed UTF-8 sequence's length at text[at]; `text` has been through
// validUtf8, so only the lead byte counts.
std::size_t sequenceLength(const std::string& text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    return lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
}

// XML 1.0 has no place, not even as a reference, for the C0 controls other
// than tab, line feed and carriage return, nor for U+FFFE and U+FFFF.
bool forbiddenInXml(const std::string& sequence) {
    const auto first = static_cast<unsigned char>(sequence[0]);
    return (first < 0x20 && first != '\t' && first != '\n' && first != '\r') || sequence == "\xEF\xBF\xBE" ||
           sequence == "\xEF\xBF\xBF";
}

// Line breaks and tabs are kept in character data, but an attribute's value
// would turn them into spaces.
std::string xmlReference(char character, bool inAttribute) {
    if (!inAttribute && (character == '\t' || character == '\n')) {
        return std::string(1, character);
    }
    switch (character) {
        case '&':
            return "&amp;";
        case '<':
            return "&lt;";
        case '>':
            return "&gt;";
        case '"':
            return "&quot;";
        case '\'':
            return "&apos;";
        case '\t':
            return "&#9;";
        case '\n':
            return "&#10;";
        case '\r':
            return "&#13;";
        default:
            return std::string(1, character);
    }
}

std::string xmlEscaped(const std::string& text, bool inAttribute) {
    const std::string valid = validUtf8(text);
    std::string escaped;
    for (std::size_t at = 0; at < valid.size();) {
        const std::string sequence = valid.substr(at, sequenceLength(valid, at));
        escaped += forbiddenInXml(sequence) ? kReplacementCharacter
                   : sequence.size() == 1   ? xmlReference(sequence[0], inAttribute)
                                            : sequence;
        at += sequence.size();
    }
    return escaped;
}

}  // namespace

std::string xmlText(const std::string& text) {
    return xmlEscaped(text, false);
}

std::string xmlAttribute(const std::string& text) {
    return xmlEscaped(text, true);
}

}  // namespace quorvane::recording

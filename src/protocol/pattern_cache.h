#pragma once

#include <regex>
#include <string>

// libstdc++'s default matcher recurses once per input character: a full
// three-chunk window needs about 1 MB of stack (8 MB under AddressSanitizer).
// Its Thompson-NFA matcher gives the same answers for these patterns (no back
// references) in constant stack.
#if defined(__GLIBCXX__)
inline constexpr auto kPatternSyntax = std::regex::ECMAScript | std::regex_constants::__polynomial;
#else
inline constexpr auto kPatternSyntax = std::regex::ECMAScript;
#endif

// The regular expression for `pattern` (ECMAScript grammar), compiled once per
// distinct text for the life of the process. Safe to call from any thread;
// throws std::regex_error for a text that does not compile.
const std::regex& compiledPattern(const std::string& pattern);

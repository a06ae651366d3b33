#pragma once

#include <regex>
#include <string>

// The ECMAScript regular expression for `pattern`, compiled once per distinct
// text for the life of the process. Safe to call from any thread; throws
// std::regex_error for a text that does not compile.
const std::regex& compiledPattern(const std::string& pattern);

#pragma once

#include <string>

// Removes leading and trailing blanks, carriage returns, line feeds and tabs
// in place. A text made of nothing else is left as it is.
std::string& trim(std::string& text);

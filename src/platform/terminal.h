#pragma once

#include <cstdio>

namespace platform {

// True when `stream` is an interactive terminal (a console on Windows).
bool isTerminal(std::FILE* stream);

}  // namespace platform

#pragma once

#include <cstdio>

namespace quorvane::platform {

// True when `stream` is an interactive terminal (a console on Windows).
bool isTerminal(std::FILE* stream);

// How many columns wide the terminal (the console window on Windows) that
// `stream` writes to is; 0 when `stream` is no terminal or the terminal does
// not tell.
int terminalColumns(std::FILE* stream);

// Has the terminal that `stream` writes to act on ANSI escape sequences
// (cursor moves, line clearing); true when it does. POSIX terminals always
// do; a Windows console does once its virtual-terminal processing is on,
// which older consoles refuse. False when `stream` is no terminal.
bool enableTerminalSequences(std::FILE* stream);

}  // namespace quorvane::platform

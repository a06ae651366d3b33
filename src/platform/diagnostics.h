#pragma once

#include <cstdio>
#include <string>

// The one writer of everything the program says beyond its specified console
// lines: errors, warnings, hints and progress go to standard error, so that a
// script reading standard output sees only those lines. Every layer may use
// it; messages from different threads never interleave.
namespace quorvane::platform {

// Sends what follows to `stream` instead of standard error (nullptr: back to
// standard error), where no line of status stands yet; for tests.
void setDiagnosticStream(std::FILE* stream);

// Writes one printf-style message after the program's name and flushes it at
// once.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void diagnose(const char* format, ...);

// The same without the program's name: the progress of long work (on a
// terminal a line rewritten in place), the usage text.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void showText(const char* format, ...);

// Writes `text` like showText. On a terminal it is a line of status left
// unfinished (no line end), and `eraser` takes it off the line: written once
// before the next diagnose, so that the message starts on a row of its own.
// An empty eraser: nothing stands on the line any more.
void showStatus(const std::string& text, const std::string& eraser);

}  // namespace quorvane::platform

#pragma once

#include <cstdio>

// The one writer of everything the program says beyond its specified console
// lines: errors, warnings, hints and progress go to standard error, so that a
// script reading standard output sees only those lines. Every layer may use
// it; messages from different threads never interleave.
namespace quorvane::platform {

// Sends what follows to `stream` instead of standard error (nullptr: back to
// standard error); for tests.
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

}  // namespace quorvane::platform

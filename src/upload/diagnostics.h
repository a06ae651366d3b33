#pragma once

#include <cstdio>

namespace upload {

// Everything the upload server says beyond its fixed console lines (errors,
// hints, progress) goes to standard error, so a script reading standard
// output sees only those lines. A test may send it to a file instead.
void setDiagnosticStream(std::FILE* stream);

// Writes one printf-style message, after the program's name, at once and
// flushes it, so messages from different threads never interleave.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void diagnose(const char* format, ...);

// The same without the program's name, for the progress of the upload (on a
// terminal a line rewritten in place).
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void showProgressText(const char* format, ...);

}  // namespace upload

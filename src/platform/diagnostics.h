#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

// The one writer of everything the program puts on the console: the run's
// own lines on standard output, and everything it says beyond them (errors,
// warnings, hints, progress) on standard error, so that a script reading
// standard output sees only those lines. Every layer may use it; messages
// from different threads never interleave, and their order is kept.
namespace quorvane::platform {

// Sends what follows to `stream` instead of standard error (nullptr: back to
// standard error), where no line of status stands yet; for tests. Everything
// said before goes to the stream it was said to.
void setDiagnosticStream(std::FILE* stream);

// Writes one of the run's own console lines (printf-style) on standard
// output, taking a line of status off the terminal first.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void consoleLine(const char* format, ...);

// Writes one printf-style message after the program's name on standard
// error.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void diagnose(const char* format, ...);

// The same without the program's name: the progress of long work away from a
// terminal, the usage text.
#if defined(__GNUC__)
__attribute__((format(printf, 1, 2)))
#endif
void showText(const char* format, ...);

// A line of status on a terminal: `text` (at most `widthLimit` columns)
// replaces the one shown before, whose rest is blanked out up to
// `widthLimit`; with `endLine` the line is ended there, otherwise it stands
// unfinished and is taken off the line before any other text is written.
void showStatus(const std::string& text, std::size_t widthLimit, bool endLine);

// Takes a line of status that stands unfinished off the terminal (at most
// `widthLimit` columns of it), leaving the cursor at the line's start.
void clearStatus(std::size_t widthLimit);

// Returns once everything said so far has been written.
void flushConsole();

// A number of bytes as messages say it: "1 byte", "5 bytes".
std::string byteCount(std::uint64_t count);

// Whether standard error is a terminal, and how many columns wide (0 when
// not known), as the writer last saw them. A held console answers no
// question either (Wine's console waits with its output), so while the writer
// has a thread of its own only that thread asks; other threads read what it
// found.
bool diagnosticsOnTerminal();
int diagnosticColumns();

// While an object of this class lives, the console is written by a thread of
// its own, and saying something only hands it over: a console that is held
// (Ctrl-S on a terminal, a selection in a Windows console with QuickEdit on)
// then holds that thread alone, never the upload or the serial link. A line
// of status that has not been written yet when the next one comes is
// skipped. Its end writes everything said before; outside its life whoever
// says something writes it.
class ConsoleWriterThread {
public:
    ConsoleWriterThread();
    ~ConsoleWriterThread();

    ConsoleWriterThread(const ConsoleWriterThread&) = delete;
    ConsoleWriterThread& operator=(const ConsoleWriterThread&) = delete;

    class Queue;

private:
    std::unique_ptr<Queue> queue_;
};

}  // namespace quorvane::platform

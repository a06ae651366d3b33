#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <utility>

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

// Where one of several runs in one process says what a single run says on
// the console: a station keeps each device's lines in that device's log and
// shows its state instead. Called from the run's threads, one at a time.
class RunOutput {
public:
    virtual ~RunOutput() = default;
    // One of the run's console lines (`consoleLine`) or a message, whole,
    // with its line end.
    virtual void line(const std::string& text, bool consoleLine) = 0;
    // A line of status (progress), without a line end; empty: taken off.
    virtual void status(const std::string& text) = 0;
};

// While an object of this class lives, what the calling thread says goes to
// `output` (nullptr: to the console); threads started by `sayingThread` take
// it along.
class RunOutputScope {
public:
    explicit RunOutputScope(std::shared_ptr<RunOutput> output);
    ~RunOutputScope();

    RunOutputScope(const RunOutputScope&) = delete;
    RunOutputScope& operator=(const RunOutputScope&) = delete;

private:
    std::shared_ptr<RunOutput> previous_;
};

// The output of the calling thread's run; nullptr: the console.
std::shared_ptr<RunOutput> currentRunOutput();

// A thread that says what it says where the thread that starts it does, so
// that a run's lines stay its own however many threads it has.
template <class Function, class... Arguments>
std::thread sayingThread(Function&& function, Arguments&&... arguments) {
    return std::thread(
        [output = currentRunOutput()](auto&& work, auto&&... values) {
            RunOutputScope scope(output);
            std::invoke(std::forward<decltype(work)>(work), std::forward<decltype(values)>(values)...);
        },
        std::forward<Function>(function), std::forward<Arguments>(arguments)...);
}

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

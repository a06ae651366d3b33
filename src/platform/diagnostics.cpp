#include "platform/diagnostics.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/terminal.h"
#include "platform/text_stream.h"

namespace quorvane::platform {

namespace {

constexpr const char* kPrefix = "quorvane-capture: ";

// One thing said, as it is handed to whoever writes it.
struct Said {
    enum class Kind { ConsoleLine, Message, Status, StatusClear };
    Kind kind = Kind::Message;
    std::string text;
    std::size_t widthLimit = 0;
    bool endLine = false;
};

// The streams and what stands on the terminal's line; only one writer at a
// time uses it.
class Console {
public:
    void setStream(std::FILE* stream) {
        stream_ = stream;
        // No line of status stands on a stream just chosen.
        shownLength_ = 0;
    }

    void write(const Said& said) {
        switch (said.kind) {
            case Said::Kind::ConsoleLine:
                putIfAny(diagnosticStream(), takeStatusOff());
                putText(stdout, said.text);
                break;
            case Said::Kind::Message:
                putText(diagnosticStream(), takeStatusOff() + said.text);
                break;
            case Said::Kind::Status:
                showStatus(said);
                break;
            case Said::Kind::StatusClear:
                putIfAny(diagnosticStream(), blankedOut(said.widthLimit));
                break;
        }
    }

private:
    static void putIfAny(std::FILE* stream, const std::string& text) {
        if (!text.empty()) {
            putText(stream, text);
        }
    }

    std::FILE* diagnosticStream() const { return stream_ != nullptr ? stream_ : stderr; }

    // Every text starts at the line's beginning and blanks out what is left
    // of a longer text shown before it.
    void showStatus(const Said& said) {
        const std::size_t reach = std::min(shownLength_, said.widthLimit);
        const std::string blanks(reach > said.text.size() ? reach - said.text.size() : 0, ' ');
        shownLength_ = said.endLine ? 0 : said.text.size();
        putText(diagnosticStream(), "\r" + said.text + blanks + (said.endLine ? "\n" : ""));
    }

    // What takes a standing line of status off the terminal, so that the
    // next text starts on a row of its own; empty when none stands.
    std::string takeStatusOff() { return blankedOut(shownLength_); }

    std::string blankedOut(std::size_t widthLimit) {
        const std::size_t reach = std::min(shownLength_, widthLimit);
        shownLength_ = 0;
        return reach == 0 ? std::string() : "\r" + std::string(reach, ' ') + "\r";
    }

    std::FILE* stream_ = nullptr;
    std::size_t shownLength_ = 0;
};

// Never destroyed: a thread that outlives the entry point (the process-wide
// interruption watcher) may still say something while the process exits.
struct Shared {
    // Guards everything below but `console`.
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<Said> pending;
    // A writer thread takes what is said.
    bool threaded = false;
    // The writer thread is writing what it took last.
    bool writing = false;
    bool stopping = false;
    // Held while `console` writes.
    std::mutex writeMutex;
    Console console;
    // Standard error's terminal as the writer thread saw it last.
    std::atomic<bool> onTerminal{false};
    std::atomic<int> columns{0};
};

thread_local std::shared_ptr<RunOutput> t_runOutput;

// What a run of a station says goes to its own output, never to the console.
bool toRunOutput(const Said& said) {
    if (!t_runOutput) {
        return false;
    }
    switch (said.kind) {
        case Said::Kind::ConsoleLine:
        case Said::Kind::Message:
            t_runOutput->line(said.text, said.kind == Said::Kind::ConsoleLine);
            break;
        case Said::Kind::Status:
            t_runOutput->status(said.endLine ? std::string() : said.text);
            if (said.endLine) {
                t_runOutput->line(said.text + "\n", false);
            }
            break;
        case Said::Kind::StatusClear:
            t_runOutput->status({});
            break;
    }
    return true;
}

Shared& shared() {
    static Shared* state = new Shared;
    return *state;
}

void writeNow(const Said& said) {
    Shared& state = shared();
    std::lock_guard<std::mutex> lock(state.writeMutex);
    state.console.write(said);
}

// Asked before the writer thread starts and before each line of status it
// writes, since the window may have been resized.
void lookAtTerminal() {
    Shared& state = shared();
    state.onTerminal = isTerminal(stderr);
    state.columns = terminalColumns(stderr);
}

bool threaded() {
    Shared& state = shared();
    std::lock_guard<std::mutex> lock(state.mutex);
    return state.threaded;
}

// A line of status still waiting is replaced by a newer one: the writer is
// behind, and only the newest is worth showing. An ended line is kept, since
// its text stays on the terminal.
void queue(std::deque<Said>& pending, Said said) {
    const bool replaces = said.kind == Said::Kind::Status && !pending.empty() &&
                          pending.back().kind == Said::Kind::Status && !pending.back().endLine;
    if (replaces) {
        pending.back() = std::move(said);
    } else {
        pending.push_back(std::move(said));
    }
}

void say(Said said) {
    if (toRunOutput(said)) {
        return;
    }
    Shared& state = shared();
    {
        std::lock_guard<std::mutex> lock(state.mutex);
        if (state.threaded) {
            queue(state.pending, std::move(said));
            state.changed.notify_all();
            return;
        }
    }
    writeNow(said);
}

std::string formatted(const char* format, va_list arguments) {
    va_list measuring;
    va_copy(measuring, arguments);
    const int length = std::vsnprintf(nullptr, 0, format, measuring);
    va_end(measuring);
    if (length <= 0) {
        return {};
    }
    std::vector<char> text(static_cast<std::size_t>(length) + 1);
    std::vsnprintf(text.data(), text.size(), format, arguments);
    return std::string(text.data(), static_cast<std::size_t>(length));
}

Said message(Said::Kind kind, std::string text) {
    Said said;
    said.kind = kind;
    said.text = std::move(text);
    return said;
}

}  // namespace

// The writer thread's half: it takes what was said in order and writes it.
class ConsoleWriterThread::Queue {
public:
    Queue() {
        Shared& state = shared();
        lookAtTerminal();
        {
            std::lock_guard<std::mutex> lock(state.mutex);
            state.threaded = true;
            state.stopping = false;
        }
        thread_ = std::thread(&Queue::run, this);
    }

    ~Queue() {
        Shared& state = shared();
        {
            std::lock_guard<std::mutex> lock(state.mutex);
            state.stopping = true;
        }
        state.changed.notify_all();
        thread_.join();
    }

    Queue(const Queue&) = delete;
    Queue& operator=(const Queue&) = delete;

private:
    void run() {
        Shared& state = shared();
        std::unique_lock<std::mutex> lock(state.mutex);
        for (;;) {
            state.changed.wait(lock, [&state] { return !state.pending.empty() || state.stopping; });
            if (state.pending.empty()) {
                // Whatever is said from now on is written by whoever says it.
                state.threaded = false;
                return;
            }
            const Said said = std::move(state.pending.front());
            state.pending.pop_front();
            state.writing = true;
            lock.unlock();
            if (said.kind == Said::Kind::Status) {
                lookAtTerminal();
            }
            writeNow(said);
            lock.lock();
            state.writing = false;
            state.changed.notify_all();
        }
    }

    std::thread thread_;
};

RunOutputScope::RunOutputScope(std::shared_ptr<RunOutput> output) : previous_(std::move(t_runOutput)) {
    t_runOutput = std::move(output);
}

RunOutputScope::~RunOutputScope() {
    t_runOutput = std::move(previous_);
}

std::shared_ptr<RunOutput> currentRunOutput() {
    return t_runOutput;
}

ConsoleWriterThread::ConsoleWriterThread() : queue_(std::make_unique<Queue>()) {}

ConsoleWriterThread::~ConsoleWriterThread() = default;

void flushConsole() {
    Shared& state = shared();
    std::unique_lock<std::mutex> lock(state.mutex);
    state.changed.wait(lock, [&state] { return state.pending.empty() && !state.writing; });
}

bool diagnosticsOnTerminal() {
    return threaded() ? shared().onTerminal.load() : isTerminal(stderr);
}

int diagnosticColumns() {
    return threaded() ? shared().columns.load() : terminalColumns(stderr);
}

void setDiagnosticStream(std::FILE* stream) {
    flushConsole();
    Shared& state = shared();
    std::lock_guard<std::mutex> lock(state.writeMutex);
    state.console.setStream(stream);
}

void consoleLine(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::string text = formatted(format, arguments);
    va_end(arguments);
    say(message(Said::Kind::ConsoleLine, std::move(text)));
}

void diagnose(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    const std::string text = formatted(format, arguments);
    va_end(arguments);
    say(message(Said::Kind::Message, kPrefix + text));
}

void showText(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::string text = formatted(format, arguments);
    va_end(arguments);
    say(message(Said::Kind::Message, std::move(text)));
}

void showStatus(const std::string& text, std::size_t widthLimit, bool endLine) {
    Said said = message(Said::Kind::Status, text);
    said.widthLimit = widthLimit;
    said.endLine = endLine;
    say(std::move(said));
}

void clearStatus(std::size_t widthLimit) {
    Said said = message(Said::Kind::StatusClear, {});
    said.widthLimit = widthLimit;
    say(std::move(said));
}

std::string byteCount(std::uint64_t count) {
    return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

}  // namespace quorvane::platform

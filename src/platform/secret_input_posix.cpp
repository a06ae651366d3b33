#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <cstddef>
#include <iterator>

#include "platform/diagnostics.h"
#include "platform/secret_input.h"

namespace quorvane::platform {

namespace {

constexpr int kEndingSignals[] = {SIGINT, SIGHUP, SIGTERM, SIGQUIT};

termios g_typedSettings{};

// A signal that ends the program while echo is off must not leave the
// terminal silent for the shell: the settings are put back, then the signal
// is raised again to take its usual course once this handler has returned.
void restoreAndRaise(int signalNumber) {
    tcsetattr(STDIN_FILENO, TCSANOW, &g_typedSettings);
    raise(signalNumber);
}

class EchoOff {
public:
    explicit EchoOff(const termios& typed) {
        g_typedSettings = typed;
        struct sigaction action {};
        action.sa_handler = restoreAndRaise;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESETHAND;
        for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
            sigaction(kEndingSignals[i], &action, &previous_[i]);
        }
        termios quiet = typed;
        // ECHONL still shows the Enter, so the next output starts a new line.
        quiet.c_lflag = (quiet.c_lflag & ~static_cast<tcflag_t>(ECHO)) | ECHONL;
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    ~EchoOff() {
        tcsetattr(STDIN_FILENO, TCSANOW, &g_typedSettings);
        for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
            sigaction(kEndingSignals[i], &previous_[i], nullptr);
        }
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;

private:
    struct sigaction previous_[std::size(kEndingSignals)]{};
};

}  // namespace

SecretLine readSecretLine(const std::string& prompt) {
    termios typed{};
    if (!isatty(STDIN_FILENO) || tcgetattr(STDIN_FILENO, &typed) != 0) {
        return readLineFrom(stdin);
    }
    // Echo goes off before the prompt shows: what is typed as soon as the
    // prompt is seen is neither echoed nor flushed away as typed ahead.
    const EchoOff echoOff(typed);
    showText("%s", prompt.c_str());
    flushConsole();
    return readLineFrom(stdin);
}

}  // namespace quorvane::platform

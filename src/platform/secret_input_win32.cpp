#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <iterator>

#include "platform/diagnostics.h"
#include "platform/secret_input.h"
#include "platform/utf16_win32.h"

namespace quorvane::platform {

namespace {

HANDLE g_console = nullptr;
DWORD g_typedMode = 0;

// Ctrl-C while echo is off: the console's mode is put back before the
// default handling ends the program, so that the shell echoes again.
BOOL WINAPI restoreOnConsoleEvent(DWORD) {
    SetConsoleMode(g_console, g_typedMode);
    return FALSE;
}

class EchoOff {
public:
    EchoOff(HANDLE console, DWORD typedMode) {
        g_console = console;
        g_typedMode = typedMode;
        SetConsoleCtrlHandler(restoreOnConsoleEvent, TRUE);
        const DWORD lineInput = ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT;
        SetConsoleMode(console, (typedMode | lineInput) & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    }
    ~EchoOff() {
        SetConsoleMode(g_console, g_typedMode);
        SetConsoleCtrlHandler(restoreOnConsoleEvent, FALSE);
    }
    EchoOff(const EchoOff&) = delete;
    EchoOff& operator=(const EchoOff&) = delete;
};

// The console hands over characters, not bytes, so that what is typed
// arrives whatever the console's code page.
SecretLine readConsoleLine(HANDLE console) {
    SecretLine line;
    std::wstring typed;
    wchar_t buffer[256];
    DWORD count = 0;
    while (typed.find(L'\n') == std::wstring::npos) {
        if (!ReadConsoleW(console, buffer, static_cast<DWORD>(std::size(buffer)), &count, nullptr)) {
            line.outcome = SecretLine::Outcome::Failed;
            line.error = std::error_code(static_cast<int>(GetLastError()), std::system_category());
            return line;
        }
        if (count == 0) {
            break;
        }
        typed.append(buffer, count);
    }
    line.outcome = typed.empty() ? SecretLine::Outcome::NoLine : SecretLine::Outcome::Read;
    typed = typed.substr(0, typed.find_first_of(L"\r\n"));
    line.text = utf8FromUtf16(typed);
    return line;
}

}  // namespace

SecretLine readSecretLine(const std::string& prompt) {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD typedMode = 0;
    if (!GetConsoleMode(input, &typedMode)) {
        // A pipe or a file: its bytes as they come, no CR LF translation.
        _setmode(_fileno(stdin), _O_BINARY);
        return readLineFrom(stdin);
    }
    SecretLine line;
    {
        // Echo goes off before the prompt shows: what is typed as soon as
        // the prompt is seen is not echoed.
        const EchoOff echoOff(input, typedMode);
        showText("%s", prompt.c_str());
        flushConsole();
        line = readConsoleLine(input);
    }
    // The Enter was not echoed either.
    showText("\n");
    return line;
}

}  // namespace quorvane::platform

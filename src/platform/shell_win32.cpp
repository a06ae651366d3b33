#include <windows.h>

#include <string>

#include "platform/diagnostics.h"
#include "platform/shell.h"
#include "platform/shell_os.h"
#include "platform/utf16_win32.h"

namespace quorvane::platform {

namespace {

// How often a wait for a command that may be given up asks whether it is.
constexpr DWORD kStopWaitingQuestionMs = 25;

std::string folderOf(const std::string& file) {
    const auto separator = file.find_last_of("\\/");
    return separator == std::string::npos ? std::string() : file.substr(0, separator);
}

HANDLE inheritableCopy(HANDLE handle) {
    HANDLE copy = nullptr;
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE ||
        !DuplicateHandle(GetCurrentProcess(), handle, GetCurrentProcess(), &copy, 0, TRUE, DUPLICATE_SAME_ACCESS)) {
        return nullptr;
    }
    return copy;
}

HANDLE inheritableNullDevice() {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE device =
        CreateFileW(L"NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0, nullptr);
    return device == INVALID_HANDLE_VALUE ? nullptr : device;
}

// The command's standard handles: this program's own, or the null device for
// its errors. Inheritable copies, so that the command may use them whatever
// this program's handles are (console, pipe or file).
class ChildStandardHandles {
public:
    explicit ChildStandardHandles(CommandErrors errors)
        : handles_{inheritableCopy(GetStdHandle(STD_INPUT_HANDLE)), inheritableCopy(GetStdHandle(STD_OUTPUT_HANDLE)),
                   errors == CommandErrors::Discarded ? inheritableNullDevice()
                                                      : inheritableCopy(GetStdHandle(STD_ERROR_HANDLE))} {}
    ~ChildStandardHandles() {
        for (HANDLE handle : handles_) {
            if (handle != nullptr) {
                CloseHandle(handle);
            }
        }
    }
    ChildStandardHandles(const ChildStandardHandles&) = delete;
    ChildStandardHandles& operator=(const ChildStandardHandles&) = delete;

    void fill(STARTUPINFOW& startup) const {
        startup.dwFlags |= STARTF_USESTDHANDLES;
        startup.hStdInput = handles_[0];
        startup.hStdOutput = handles_[1];
        startup.hStdError = handles_[2];
    }

private:
    HANDLE handles_[3];
};

std::wstring environmentVariable(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) {
        return {};
    }
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(name, value.data(), size);
    value.resize(length < size ? length : 0);
    return value;
}

// True when the process has ended (or cannot be waited for), false once
// `stopWaiting` said so while it ran.
bool waitForProcess(HANDLE process, const StopWaiting& stopWaiting) {
    if (!stopWaiting) {
        WaitForSingleObject(process, INFINITE);
        return true;
    }
    while (WaitForSingleObject(process, kStopWaitingQuestionMs) == WAIT_TIMEOUT) {
        if (stopWaiting()) {
            return false;
        }
    }
    return true;
}

// The exit code, or nothing when the wait was given up: the process is left
// running, only this program's handles to it are closed.
std::optional<int> exitCodeOf(const PROCESS_INFORMATION& process, const StopWaiting& stopWaiting) {
    CloseHandle(process.hThread);
    if (!waitForProcess(process.hProcess, stopWaiting)) {
        CloseHandle(process.hProcess);
        return std::nullopt;
    }
    DWORD code = 0;
    const BOOL known = GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    return known ? static_cast<int>(code) : -1;
}

}  // namespace

// Started with the wide CreateProcessW, as system() would start it, so that
// the command line and the folders the command sees keep every character
// whatever the system's code page.
std::optional<int> runCommandLineUnless(const std::string& commandLine, const StopWaiting& stopWaiting,
                                        CommandErrors errors) {
    // What this program said before comes before what the command says.
    flushConsole();
    const std::wstring interpreter = environmentVariable(L"COMSPEC");
    std::wstring line = L"cmd.exe /c " + utf16FromUtf8(commandLine);
    const ChildStandardHandles handles(errors);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    handles.fill(startup);
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(interpreter.empty() ? nullptr : interpreter.c_str(), line.data(), nullptr, nullptr, TRUE, 0,
                        nullptr, nullptr, &startup, &process)) {
        return -1;
    }
    return exitCodeOf(process, stopWaiting);
}

int exitStatusOf(int systemResult) {
    return systemResult;
}

bool endedByInterrupt(int systemResult) {
    return static_cast<DWORD>(systemResult) == static_cast<DWORD>(STATUS_CONTROL_C_EXIT);
}

std::string executableDirectory() {
    // Long paths: the buffer grows until the whole name fits.
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) {
            return {};
        }
        if (length < path.size()) {
            path.resize(length);
            return folderOf(utf8FromUtf16(path));
        }
        path.resize(path.size() * 2);
    }
}

std::string currentDirectory() {
    const DWORD size = GetCurrentDirectoryW(0, nullptr);
    std::wstring path(size, L'\0');
    const DWORD length = size == 0 ? 0 : GetCurrentDirectoryW(size, path.data());
    if (length == 0 || length >= size) {
        return {};
    }
    path.resize(length);
    return utf8FromUtf16(path);
}

const char kSearchPathSeparator = ';';
const char kFolderSeparator = '\\';

std::string inheritedSearchPath() {
    return utf8FromUtf16(environmentVariable(L"PATH"));
}

// The process environment itself, which CreateProcessW hands on, rather than
// the runtime's narrow copy, which would lose what the code page lacks.
void replaceSearchPath(const std::string& path) {
    SetEnvironmentVariableW(L"PATH", utf16FromUtf8(path).c_str());
}

bool isProgramFile(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(utf16FromUtf8(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace quorvane::platform

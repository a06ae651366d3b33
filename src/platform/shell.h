#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quorvane::platform {

// Where the error output of a command run through runCommandLine goes.
enum class CommandErrors {
    Shown,      // this program's standard error
    Discarded,  // nowhere: the caller explains a failure itself
};

// Runs one command line (UTF-8) through the command interpreter (cmd.exe on
// Windows, /bin/sh elsewhere) and waits for it; returns the result as the
// runtime's system() gives it, -1 when the interpreter could not be started.
int runCommandLine(const std::string& commandLine, CommandErrors errors = CommandErrors::Shown);

// Asked every few tens of milliseconds while a command runs: true gives up
// the wait for it.
using StopWaiting = std::function<bool()>;

// runCommandLine that stops waiting when `stopWaiting` (never when empty)
// says so: nothing then, and the command is left running, since only the
// caller's wait is over, not the command's work.
std::optional<int> runCommandLineUnless(const std::string& commandLine, const StopWaiting& stopWaiting,
                                        CommandErrors errors = CommandErrors::Shown);

// The exit status of the command behind a system() result; on POSIX a command
// killed by a signal gives 128 + the signal number, as shells report it.
int exitStatusOf(int systemResult);

// True when system()'s result says the command ran and exited with status 0.
bool commandSucceeded(int systemResult);

// True when the command was ended by Ctrl-C (SIGINT on POSIX, the console's
// Ctrl-C exit status on Windows), which reaches the whole console's programs
// at once.
bool endedByInterrupt(int systemResult);

// The folder of the running executable (UTF-8), empty when the system cannot
// tell.
std::string executableDirectory();

// The process's working directory (UTF-8), empty when the system cannot tell.
std::string currentDirectory();

// Puts the two folders (in this order, empty ones skipped) in front of the
// PATH that commands run through runCommandLine see. Call before any other
// thread exists.
void prependToSearchPath(const std::string& firstFolder, const std::string& secondFolder);

// The folders of that PATH, in the order the command interpreter searches
// them.
std::vector<std::string> searchPathFolders();

// The first of `folders` that holds a program file named `program` (with its
// ending on Windows), as the command interpreter would start it; empty when
// none does.
std::string folderHoldingProgram(const std::string& program, const std::vector<std::string>& folders);

}  // namespace quorvane::platform

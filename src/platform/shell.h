#pragma once

#include <string>

namespace platform {

// Runs one command line through the command interpreter (cmd.exe on Windows,
// /bin/sh elsewhere) and waits for it; returns the runtime's system() result.
int runCommandLine(const std::string& commandLine);

// The exit status of the command behind a system() result; on POSIX a command
// killed by a signal gives 128 + the signal number, as shells report it.
int exitStatusOf(int systemResult);

// True when system()'s result says the command ran and exited with status 0.
bool commandSucceeded(int systemResult);

// True when the command was ended by Ctrl-C (SIGINT on POSIX, the console's
// Ctrl-C exit status on Windows), which reaches the whole console's programs
// at once.
bool endedByInterrupt(int systemResult);

// The folder of the running executable, empty when the system cannot tell.
std::string executableDirectory();

// The process's working directory, empty when the system cannot tell.
std::string currentDirectory();

// Puts the two folders (in this order, empty ones skipped) in front of the
// PATH that commands run through runCommandLine see. Call before any other
// thread exists.
void prependToSearchPath(const std::string& firstFolder, const std::string& secondFolder);

}  // namespace platform

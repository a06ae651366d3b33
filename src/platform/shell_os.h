#pragma once

#include <string>

// What the shared shell code needs from each operating system.
namespace quorvane::platform {

// Between the folders of PATH: ':' on POSIX, ';' on Windows.
extern const char kSearchPathSeparator;

// Between a folder and a name in a path: '/' on POSIX, '\' on Windows.
extern const char kFolderSeparator;

// This process's PATH, or the system's usual one when it has none.
std::string inheritedSearchPath();

// Sets this process's PATH, which the commands it runs inherit.
void replaceSearchPath(const std::string& path);

// True when `path` names a file the command interpreter would start as a
// program: on POSIX a regular file this user may execute, on Windows a file
// that is not a folder.
bool isProgramFile(const std::string& path);

}  // namespace quorvane::platform

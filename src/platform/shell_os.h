#pragma once

#include <string>

// What the shared shell code needs from each operating system.
namespace platform {

// Between the folders of PATH: ':' on POSIX, ';' on Windows.
extern const char kSearchPathSeparator;

// This process's PATH, or the system's usual one when it has none.
std::string inheritedSearchPath();

// Sets this process's PATH, which the commands it runs inherit.
void replaceSearchPath(const std::string& path);

}  // namespace platform

#pragma once

#include <cstdio>
#include <string>

namespace quorvane::platform {

// Puts UTF-8 text on `stream` and flushes it. A Windows console is given the
// characters (UTF-16), so that a network name such as "Café 家里" shows as
// typed whatever the console's code page; a file, a pipe and every POSIX
// stream get the UTF-8 bytes as they are.
void putText(std::FILE* stream, const std::string& text);

}  // namespace quorvane::platform

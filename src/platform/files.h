#pragma once

#include <string>

namespace quorvane::platform {

// Deletes a file (DeleteFileA on Windows); false when it could not be deleted.
bool deleteFile(const char* path);

// 0 when this program may read the file at `path` (UTF-8), else the errno
// value of the refusal. Asks without opening the file: opening a FIFO waits
// for its writer, and closing it again may lose what the writer had sent.
int readAccessError(const std::string& path);

}  // namespace quorvane::platform

#pragma once

namespace quorvane::platform {

// Deletes a file (DeleteFileA on Windows); false when it could not be deleted.
bool deleteFile(const char* path);

}  // namespace quorvane::platform

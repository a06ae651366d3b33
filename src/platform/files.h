#pragma once

namespace platform {

// Deletes a file (DeleteFileA on Windows); false when it could not be deleted.
bool deleteFile(const char* path);

}  // namespace platform

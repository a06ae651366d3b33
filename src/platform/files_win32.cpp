#include "platform/files.h"

#include <windows.h>

namespace quorvane::platform {

bool deleteFile(const char* path) {
    return DeleteFileA(path) != 0;
}

}  // namespace quorvane::platform

#include "platform/files.h"

#include <windows.h>

namespace platform {

bool deleteFile(const char* path) {
    return DeleteFileA(path) != 0;
}

}  // namespace platform

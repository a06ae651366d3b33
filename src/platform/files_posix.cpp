#include "platform/files.h"

#include <unistd.h>

namespace platform {

bool deleteFile(const char* path) {
    return unlink(path) == 0;
}

}  // namespace platform

#include "platform/files.h"

#include <io.h>
#include <windows.h>

#include <cerrno>

#include "platform/utf16_win32.h"

namespace quorvane::platform {

namespace {

// _waccess's mode for "may be read".
constexpr int kReadAccess = 4;

}  // namespace

bool deleteFile(const char* path) {
    return DeleteFileA(path) != 0;
}

int readAccessError(const std::string& path) {
    return _waccess(utf16FromUtf8(path).c_str(), kReadAccess) == 0 ? 0 : errno;
}

}  // namespace quorvane::platform

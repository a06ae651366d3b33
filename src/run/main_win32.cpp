#include <string>
#include <vector>

#include "platform/utf16_win32.h"
#include "run/entry_point.h"

// The wide entry point: the narrow one would get the arguments in the ANSI
// code page, where "Café 家里" arrives as "Caf\xe9 ??".
int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> arguments;
    for (int index = 1; index < argc; ++index) {
        arguments.push_back(quorvane::platform::utf8FromUtf16(argv[index]));
    }
    return runEntryPoint(arguments);
}

#pragma once

#include <string>

// Windows speaks UTF-16 in its wide interfaces; the program carries every
// text as UTF-8. These two cross between them at the Windows calls.
namespace quorvane::platform {

// An ill-formed UTF-16 sequence (a lone surrogate) becomes U+FFFD.
std::string utf8FromUtf16(const std::wstring& text);

// Ill-formed UTF-8 bytes become U+FFFD.
std::wstring utf16FromUtf8(const std::string& text);

}  // namespace quorvane::platform

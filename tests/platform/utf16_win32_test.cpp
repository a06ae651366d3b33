#include <gtest/gtest.h>

#include <string>

#include "platform/utf16_win32.h"

namespace {

TEST(Utf16, TextCrossesBothWaysUnchanged) {
    const struct {
        const char* utf8;
        std::wstring utf16;
    } cases[] = {
        {"", L""},
        {"net", L"net"},
        {"Caf\xc3\xa9 \xe5\xae\xb6\xe9\x87\x8c", L"Caf\u00e9 \u5bb6\u91cc"},
        // Beyond 16 bits: a surrogate pair in UTF-16, four bytes in UTF-8.
        {"\xf0\x9f\x98\x80", std::wstring{wchar_t(0xd83d), wchar_t(0xde00)}},
    };
    for (const auto& text : cases) {
        SCOPED_TRACE(text.utf8);
        EXPECT_EQ(quorvane::platform::utf16FromUtf8(text.utf8), text.utf16);
        EXPECT_EQ(quorvane::platform::utf8FromUtf16(text.utf16), text.utf8);
    }
}

TEST(Utf16, IllFormedTextBecomesTheReplacementCharacter) {
    EXPECT_EQ(quorvane::platform::utf8FromUtf16(std::wstring{L'a', wchar_t(0xd83d), L'b'}),
              "a\xef\xbf\xbd"
              "b");
    // 0xFF begins no UTF-8 sequence.
    EXPECT_EQ(quorvane::platform::utf16FromUtf8("a\xff"), (std::wstring{L'a', wchar_t(0xfffd)}));
}

}  // namespace

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/secret_input.h"

namespace {

quorvane::platform::SecretLine lineFrom(const std::string& input) {
    std::FILE* stream = std::tmpfile();
    std::fwrite(input.data(), 1, input.size(), stream);
    std::rewind(stream);
    quorvane::platform::SecretLine line = quorvane::platform::readLineFrom(stream);
    std::fclose(stream);
    return line;
}

TEST(LineInput, OneLineWithoutItsLineEnd) {
    using Outcome = quorvane::platform::SecretLine::Outcome;
    const struct {
        const char* name;
        std::string input;
        Outcome outcome;
        std::string text;
    } cases[] = {
        {"LF", "pass word\n", Outcome::Read, "pass word"},
        {"CR LF", "pass word\r\n", Outcome::Read, "pass word"},
        {"no line end", "pass word", Outcome::Read, "pass word"},
        {"second line left alone", "first\nsecond\n", Outcome::Read, "first"},
        {"empty line", "\n", Outcome::Read, ""},
        {"CR LF alone", "\r\n", Outcome::Read, ""},
        // Only a CR right before the LF is a line end; others are the user's.
        {"CR inside", "pa\rss\n", Outcome::Read, "pa\rss"},
        {"CR at the very end", "pass\r", Outcome::Read, "pass\r"},
        {"two CRs", "pass\r\r\n", Outcome::Read, "pass\r"},
        {"UTF-8", "p\xc3\xa4ss \xf0\x9f\x98\x80\n", Outcome::Read, "p\xc3\xa4ss \xf0\x9f\x98\x80"},
        // A byte-order mark as editors on Windows write it is no part of the line.
        {"UTF-8 byte-order mark", "\xef\xbb\xbfp\xc3\xa4ss\r\n", Outcome::Read, "p\xc3\xa4ss"},
        {"byte-order mark alone", "\xef\xbb\xbf\n", Outcome::Read, ""},
        {"byte-order mark inside", "pa\xef\xbb\xbfss\n", Outcome::Read, "pa\xef\xbb\xbfss"},
        {"UTF-16 little-endian", std::string("\xff\xfep\0a\0\r\0\n\0", 10), Outcome::Utf16, ""},
        {"UTF-16 big-endian", std::string("\xfe\xff\0p\0a\0\r\0\n", 10), Outcome::Utf16, ""},
        {"UTF-16 without a mark", std::string("p\0a\0\n\0", 6), Outcome::Utf16, ""},
        {"a NUL", std::string("pass\0word\n", 10), Outcome::Utf16, ""},
        {"nothing at all", "", Outcome::NoLine, ""},
    };
    for (const auto& input : cases) {
        SCOPED_TRACE(input.name);
        const quorvane::platform::SecretLine line = lineFrom(input.input);
        EXPECT_EQ(line.outcome, input.outcome);
        EXPECT_EQ(line.text, input.text);
    }
}

}  // namespace

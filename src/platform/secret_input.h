#pragma once

#include <cstdio>
#include <string>
#include <system_error>

namespace quorvane::platform {

struct SecretLine {
    enum class Outcome {
        Read,    // `text` holds the line, without its line end
        NoLine,  // the input ended before anything was read
        Failed,  // reading failed; `error` says why
        Utf16,   // the input is UTF-16, which is no UTF-8; `text` is empty
    };
    Outcome outcome = Outcome::NoLine;
    std::string text;
    std::error_code error;
};

// Reads one line of standard input, such as a pass phrase kept off the
// command line, as UTF-8 without its line end (LF or CR LF). On a terminal (a
// console on Windows) `prompt` is shown on standard error first and what is
// typed is not echoed; the terminal's settings are restored afterwards, also
// when a signal ends the program meanwhile. Other input (a pipe, a file) is
// taken as the bytes that come.
SecretLine readSecretLine(const std::string& prompt);

// The line-reading step for input that is not a terminal: bytes up to the
// first LF (a CR right before it is dropped too) or the end of `stream`. A
// UTF-8 byte-order mark at the start is dropped; a UTF-16 one (FF FE or
// FE FF), or a NUL byte in the line, makes the line Utf16.
SecretLine readLineFrom(std::FILE* stream);

}  // namespace quorvane::platform

#include <gtest/gtest.h>

#include <cstdio>

#include "platform/terminal.h"

namespace {

// A log file has no width (the progress then fits an 80-column line) and
// gets no escape sequences.
TEST(TerminalColumns, AFileIsNoTerminalAndHasNoWidth) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    EXPECT_FALSE(quorvane::platform::isTerminal(file));
    EXPECT_EQ(quorvane::platform::terminalColumns(file), 0);
    EXPECT_FALSE(quorvane::platform::enableTerminalSequences(file));
    std::fclose(file);
}

}  // namespace

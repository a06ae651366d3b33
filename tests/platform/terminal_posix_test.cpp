#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "platform/terminal.h"

namespace {

// The width is read anew each time: a window resized between two questions
// gives two answers.
TEST(TerminalColumns, APseudoTerminalTellsTheWidthItIsSetTo) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(grantpt(master), 0);
    ASSERT_EQ(unlockpt(master), 0);
    std::FILE* terminal = std::fopen(ptsname(master), "w");
    ASSERT_NE(terminal, nullptr);
    for (const unsigned short columns : {50, 20, 132}) {
        SCOPED_TRACE(columns);
        winsize size{};
        size.ws_row = 24;
        size.ws_col = columns;
        ASSERT_EQ(ioctl(master, TIOCSWINSZ, &size), 0);
        EXPECT_TRUE(quorvane::platform::isTerminal(terminal));
        EXPECT_EQ(quorvane::platform::terminalColumns(terminal), columns);
        EXPECT_TRUE(quorvane::platform::enableTerminalSequences(terminal));
    }
    std::fclose(terminal);
    close(master);
}

}  // namespace

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "platform/diagnostics.h"
#include "serial/link_diagnostics.h"

namespace quorvane {
namespace {

std::vector<std::string> linesOf(std::FILE* stream) {
    std::rewind(stream);
    std::string text;
    for (int character = std::fgetc(stream); character != EOF; character = std::fgetc(stream)) {
        text += static_cast<char>(character);
    }
    std::vector<std::string> lines;
    std::istringstream split(text);
    for (std::string line; std::getline(split, line);) {
        lines.push_back(line);
    }
    return lines;
}

bool mentions(const std::string& line, const std::string& words) {
    return line.rfind("quorvane-capture: ", 0) == 0 && line.find(words) != std::string::npos;
}

TEST(StderrLinkDiagnostics, EachSituationIsOneLineNamingThePortTheReasonAndTheRemedy) {
    std::FILE* stream = std::tmpfile();
    ASSERT_NE(stream, nullptr);
    platform::setDiagnosticStream(stream);
    StderrLinkDiagnostics diagnostics;
    diagnostics.portUnavailable("/dev/ttyUSB0", {13, OpenFailure::NoPermission, "Permission denied"});
    diagnostics.portUnavailable("COM3", {2, OpenFailure::Missing, "cannot find the file"});
    diagnostics.portUnavailable("COM3", {5, OpenFailure::Busy, "Access is denied"});
    diagnostics.portUnavailable("", {3, OpenFailure::Missing, "cannot find the path"});
    diagnostics.deviceSilent("COM4");
    diagnostics.linkLost("COM4");
    platform::setDiagnosticStream(nullptr);
    const std::vector<std::string> lines = linesOf(stream);
    std::fclose(stream);

    ASSERT_EQ(lines.size(), 6u);
    EXPECT_TRUE(mentions(lines[0], "/dev/ttyUSB0 (Permission denied)"));
    EXPECT_TRUE(mentions(lines[0], "sudo usermod -aG dialout $USER, then log in again"));
    EXPECT_TRUE(mentions(lines[1], "COM3 not found (cannot find the file)"));
    EXPECT_TRUE(mentions(lines[2], "COM3 is in use by another program"));
    EXPECT_TRUE(mentions(lines[3], "port numbers start at 1"));
    EXPECT_TRUE(mentions(lines[4], "COM4 is open but the device does not answer"));
    EXPECT_TRUE(mentions(lines[5], "COM4 stopped answering; reopening"));
}

}  // namespace
}  // namespace quorvane

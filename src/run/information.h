#pragma once

#include <string>
#include <vector>

// Answers --help / -h, --version and --list-ports when given as the only
// argument: prints the answer on standard output and returns true. The
// network report is not run for them.
bool answerInformationRequest(const std::vector<std::string>& arguments);

// Writes the usage lines and where to read more on standard error, for a
// command line that cannot run.
void showUsage();

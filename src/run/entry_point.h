#pragma once

#include <string>
#include <vector>

// The process entry point: runs the network report, checks the command line
// (the arguments after the program's name, as UTF-8) and what the run needs
// from this computer, then runs the whole provisioning and upload sequence.
// Returns the process exit status.
int runEntryPoint(const std::vector<std::string>& arguments);

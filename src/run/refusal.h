#pragma once

#include <string>

// The exit status of every refusal before a device or a recording is
// touched: the status of a bad command line.
constexpr int kRefused = -1;

// Says `problem` on standard error and returns true, or returns false when
// it is empty (nothing is refused).
bool refused(const std::string& problem);

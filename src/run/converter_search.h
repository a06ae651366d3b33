#pragma once

#include <string>

// Puts the working folder and this program's folder in front of PATH, where
// the command interpreter looks for the converter when it is started, and
// looks there now: in the working folder, then beside this program, then on
// PATH. Says what was searched when the converter is in none of them; empty
// when it was found.
std::string converterSearchProblem();

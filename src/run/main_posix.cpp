#include <string>
#include <vector>

#include "run/entry_point.h"

// POSIX hands the arguments over as the bytes typed, UTF-8 on any usual
// system, which is how the program carries text.
int main(int argc, char** argv) {
    return runEntryPoint(std::vector<std::string>(argv + 1, argv + argc));
}

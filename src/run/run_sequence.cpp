#include "run/run_sequence.h"

#include <cstdio>

int runSequence() {
    std::fprintf(stderr, "quorvane-capture: this build cannot open the serial link yet\n");
    return 1;
}

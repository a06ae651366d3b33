#include "run/entry_point.h"

int main(int argc, char** argv) {
    return runEntryPoint(argc, argv);
}

#include "run/refusal.h"

#include "platform/diagnostics.h"

bool refused(const std::string& problem) {
    if (problem.empty()) {
        return false;
    }
    quorvane::platform::diagnose("%s\n", problem.c_str());
    return true;
}

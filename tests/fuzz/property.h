#pragma once

#include <string>

namespace fuzzing {

// Stops the run when a property does not hold. The message goes to the
// standard error stream as it was at start-up (a harness may silence the
// code it drives by pointing stderr elsewhere), and the abort makes libFuzzer
// keep the input that broke the property.
[[noreturn]] void propertyBroken(const std::string& property);

inline void require(bool holds, const char* property) {
    if (!holds) {
        propertyBroken(property);
    }
}

}  // namespace fuzzing

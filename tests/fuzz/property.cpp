#include "property.h"

#include <cstdio>
#include <cstdlib>

namespace fuzzing {
namespace {

std::FILE* const reportStream = stderr;

}  // namespace

void propertyBroken(const std::string& property) {
    std::fprintf(reportStream, "property broken: %s\n", property.c_str());
    std::fflush(reportStream);
    std::abort();
}

}  // namespace fuzzing

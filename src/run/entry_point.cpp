#include "run/entry_point.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/diagnostics.h"
#include "platform/shell.h"
#include "run/command_line.h"
#include "run/information.h"
#include "run/network_report.h"
#include "run/run_sequence.h"

namespace {

void requireNetworkReport() {
    platform::runCommandLine(networkReportCommand());
    std::FILE* report = std::fopen("./ipconfig.txt", "r");
    if (report == nullptr) {
        std::printf("failed to open file!");
        std::exit(-1);
    }
    std::fclose(report);
}

}  // namespace

int runEntryPoint(const std::vector<std::string>& arguments) {
    // Unbuffered, so every console line reaches a pipe or a log at once and in
    // order with the diagnostics on standard error.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (answerInformationRequest(arguments)) {
        return 0;
    }
    requireNetworkReport();
    if (arguments.size() < 4) {
        std::printf("Please input serial number.\n");
        showUsage();
        return -1;
    }
    storeRunArguments(arguments);
    const std::string problem = runArgumentsProblem();
    if (!problem.empty()) {
        platform::diagnose("%s\n", problem.c_str());
        return -1;
    }
    // The converter is looked for in the working folder, then beside this
    // program, then on PATH.
    platform::prependToSearchPath(platform::currentDirectory(), platform::executableDirectory());
    return runSequence();
}

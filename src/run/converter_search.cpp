#include "run/converter_search.h"

#include "platform/shell.h"

std::string converterSearchProblem() {
    const std::string workingFolder = quorvane::platform::currentDirectory();
    const std::string programFolder = quorvane::platform::executableDirectory();
    quorvane::platform::prependToSearchPath(workingFolder, programFolder);
    if (!quorvane::platform::folderHoldingProgram(QUORVANE_CONVERTER_PROGRAM, quorvane::platform::searchPathFolders())
             .empty()) {
        return {};
    }
    return std::string("cannot find the converter ") + QUORVANE_CONVERTER_PROGRAM +
           ": it is neither in the working folder (" + workingFolder + ") nor beside quorvane-capture (" +
           programFolder + ") nor in a folder on PATH; put it beside quorvane-capture";
}

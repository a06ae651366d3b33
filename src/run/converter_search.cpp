#include "run/converter_search.h"

#include "platform/shell.h"

std::string converterSearchProblem() {
    const std::string workingFolder = platform::currentDirectory();
    const std::string programFolder = platform::executableDirectory();
    platform::prependToSearchPath(workingFolder, programFolder);
    if (!platform::folderHoldingProgram(QUORVANE_CONVERTER_PROGRAM, platform::searchPathFolders()).empty()) {
        return {};
    }
    return std::string("cannot find the converter ") + QUORVANE_CONVERTER_PROGRAM +
           ": it is neither in the working folder (" + workingFolder + ") nor beside quorvane-capture (" +
           programFolder + ") nor in a folder on PATH; put it beside quorvane-capture";
}

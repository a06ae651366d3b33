#include "run/entry_point.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

#include "platform/console_lines.h"
#include "platform/diagnostics.h"
#include "platform/secret_input.h"
#include "platform/shell.h"
#include "run/capture_run.h"
#include "run/command_line.h"
#include "run/convert_command.h"
#include "run/converter_search.h"
#include "run/information.h"
#include "run/network_report.h"
#include "run/refusal.h"
#include "run/run_config.h"
#include "run/station_run.h"

namespace {

constexpr const char* kReportPath = "./ipconfig.txt";
std::string workingFolderText() {
    const std::string folder = quorvane::platform::currentDirectory();
    return folder.empty() ? "the working folder" : "the working folder " + folder;
}

// Opening the report for appending, which changes no content, meets what
// stopped the command interpreter from writing it. When that succeeds, the
// reading itself failed, or the interpreter wrote nothing (then the empty
// file this made is removed again).
void explainMissingReport(int readError) {
    std::FILE* probe = std::fopen(kReportPath, "a");
    if (probe == nullptr) {
        quorvane::platform::diagnose("cannot write the network report ipconfig.txt in %s: %s\n",
                                     workingFolderText().c_str(), std::strerror(errno));
        return;
    }
    std::fclose(probe);
    if (readError != ENOENT) {
        quorvane::platform::diagnose("cannot read the network report ipconfig.txt in %s: %s\n",
                                     workingFolderText().c_str(), std::strerror(readError));
        return;
    }
    std::remove(kReportPath);
    quorvane::platform::diagnose("the network report command (%s) wrote no ipconfig.txt in %s\n",
                                 networkReportCommand(), workingFolderText().c_str());
}

// False, with the reasons said, when the report cannot be read.
bool networkReportWritten() {
    // The interpreter's own complaint ("cannot create ./ipconfig.txt") is
    // left out: the failure is explained below, once, in this program's words.
    quorvane::platform::runCommandLine(networkReportCommand(), quorvane::platform::CommandErrors::Discarded);
    std::FILE* report = std::fopen(kReportPath, "r");
    if (report == nullptr) {
        const int readError = errno;
        quorvane::platform::console::networkReportUnreadable();
        explainMissingReport(readError);
        return false;
    }
    std::fclose(report);
    return true;
}

bool usable(const CommandLine& commandLine) {
    if (commandLine.positional.size() < kRunArgumentCount) {
        quorvane::platform::console::argumentsMissing();
    }
    if (!refused(usageProblem(commandLine))) {
        return true;
    }
    showUsage();
    return false;
}

// Why the line read for PASSPHRASE "-" cannot be the pass phrase, or empty.
std::string inputPassphraseProblem(const quorvane::platform::SecretLine& line) {
    using Outcome = quorvane::platform::SecretLine::Outcome;
    switch (line.outcome) {
        case Outcome::Read:
            return line.text.empty() ? "PASSPHRASE is \"-\", but the pass phrase read from standard input is empty; "
                                       "give it on the first line (for a network without one, give \"\" as "
                                       "PASSPHRASE)"
                                     : std::string();
        case Outcome::NoLine:
            return "PASSPHRASE is \"-\", but standard input ended before a pass phrase came";
        case Outcome::Utf16:
            return "PASSPHRASE is \"-\", but standard input is UTF-16 (a file saved as \"Unicode\", or written by "
                   "Windows PowerShell's >); save the pass phrase as UTF-8 instead";
        case Outcome::Failed:
            break;
    }
    return "cannot read the pass phrase from standard input: " + line.error.message();
}

bool readPassphrase(const std::string& ssid, std::string& passphrase) {
    const quorvane::platform::SecretLine line =
        quorvane::platform::readSecretLine("Wi-Fi pass phrase for \"" + ssid + "\": ");
    if (refused(inputPassphraseProblem(line))) {
        return false;
    }
    passphrase = line.text;
    return true;
}

// The checks that need no device, before the serial port is opened. The pass
// phrase is asked for last, so that nobody types it for a run that cannot go.
bool passesStartupChecks(RunOptions& options) {
    if (refused(runArgumentsProblem(options)) || refused(converterSearchProblem()) ||
        refused(portPathProblem(options.port))) {
        return false;
    }
    return !passphraseFromInput(options) ||
           (readPassphrase(options.ssid, options.passphrase) && !refused(passphraseProblem(options.passphrase)));
}

// The same for a station: the ports are checked first, then the pass phrase
// is asked for once.
int stationEntry(const std::vector<std::string>& afterOption) {
    StationOptions options = parseStationOptions(afterOption);
    if (refused(options.problem) || refused(converterSearchProblem())) {
        return kRefused;
    }
    if (options.passphrase == "-" && (!readPassphrase(options.ssid, options.passphrase) ||
                                      refused(passphraseProblem(options.passphrase)))) {
        return kRefused;
    }
    return runStation(std::move(options));
}

}  // namespace

int runEntryPoint(const std::vector<std::string>& arguments) {
    // Unbuffered, so every console line reaches a pipe or a log at once and in
    // order with the diagnostics on standard error.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const quorvane::platform::ConsoleWriterThread consoleWriter;
    if (answerInformationRequest(arguments)) {
        return 0;
    }
    // A recording kept from an earlier run needs no network report.
    if (isConvertRequest(arguments)) {
        return runConvertCommand({arguments.begin() + 1, arguments.end()});
    }
    if (!networkReportWritten()) {
        return kRefused;
    }
    if (isStationRequest(arguments)) {
        return stationEntry({arguments.begin() + 1, arguments.end()});
    }
    CommandLine commandLine = parseCommandLine(arguments);
    std::string timeoutProblem;
    const auto uploadTimeout = takeUploadTimeout(commandLine.options, timeoutProblem);
    if (refused(timeoutProblem) || !usable(commandLine)) {
        return kRefused;
    }
    RunOptions options = runOptionsFrom(commandLine.positional);
    options.uploadTimeout = uploadTimeout;
    if (!passesStartupChecks(options)) {
        return kRefused;
    }
    for (const std::string& warning : runArgumentWarnings(options)) {
        quorvane::platform::diagnose("warning: %s\n", warning.c_str());
    }
    publishRunOptions(options);
    return CaptureRun(std::move(options)).run();
}

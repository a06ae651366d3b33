#include "run/command_line.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/diagnostics.h"
#include "run/port_argument.h"

namespace {

const char* const kArgumentNames[kRunArgumentCount] = {"SSID", "PASSPHRASE", "PORT", "RECORD_TIME"};
const char* const kInformationOptions[] = {"--help", "--version", "--list-ports"};
constexpr std::size_t kChannel3Position = kRunArgumentCount;
constexpr std::size_t kLongestSsid = 32;
constexpr std::size_t kShortestPassphrase = 8;
constexpr std::size_t kLongestPassphrase = 63;
constexpr const char* kDigits = "0123456789";

bool isOption(const std::string& argument) {
    return argument.size() > 2 && argument.compare(0, 2, "--") == 0;
}

bool isInformationOption(const std::string& option) {
    for (const char* known : kInformationOptions) {
        if (option == known) {
            return true;
        }
    }
    return false;
}

std::string missingArguments(std::size_t given) {
    std::string names;
    for (std::size_t position = given; position < kRunArgumentCount; ++position) {
        const bool last = position + 1 == kRunArgumentCount;
        names += (position == given ? "" : last ? " and " : ", ") + std::string(kArgumentNames[position]);
    }
    return names + (given + 1 == kRunArgumentCount ? " is missing" : " are missing");
}

bool isDecimal(const std::string& text) {
    return !text.empty() && text.find_first_not_of(kDigits) == std::string::npos;
}

bool isPositiveDecimal(const std::string& text) {
    return isDecimal(text) && text.size() <= 9 && std::atoi(text.c_str()) > 0;
}

bool isControlCharacter(char character) {
    const auto byte = static_cast<unsigned char>(character);
    return byte < 0x20 || byte == 0x7f;
}

bool hasControlCharacter(const std::string& text) {
    for (char character : text) {
        if (isControlCharacter(character)) {
            return true;
        }
    }
    return false;
}

bool hasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

// The text in quotes, its control characters shown as \xHH.
std::string quoted(const std::string& text) {
    std::string shown = "\"";
    for (char character : text) {
        if (isControlCharacter(character)) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", static_cast<unsigned char>(character));
            shown += escaped;
        } else {
            shown += character;
        }
    }
    return shown + "\"";
}

// "COM3" as the device manager shows it, in any case, is port 3.
std::string withoutComPrefix(const std::string& port) {
    const bool prefixed = port.size() > 3 && (port[0] == 'C' || port[0] == 'c') && (port[1] == 'O' || port[1] == 'o') &&
                          (port[2] == 'M' || port[2] == 'm');
    return prefixed && isDecimal(port.substr(3)) ? port.substr(3) : port;
}

std::string lineBreakProblem(const char* what) {
    return std::string(what) +
           " contains a line break, which would end the device's command line early; "
           "remove it";
}

std::string recordTimeWordsProblem(const std::string& recordTime) {
    const char* found = recordTime.find(' ') != std::string::npos ? "a blank"
                        : hasControlCharacter(recordTime)         ? "a control character"
                                                                  : nullptr;
    if (found == nullptr) {
        return {};
    }
    return "the record time " + quoted(recordTime) + " contains " + found +
           ": it would reach the device inside its upload command, where more words are read as more options; "
           "give the number of seconds alone, such as 30";
}

// "0", "00", "0.0": a recording of no time.
bool isZero(const std::string& text) {
    std::string digits = text;
    const auto point = digits.find('.');
    if (point != std::string::npos) {
        digits.erase(point, 1);
    }
    return !digits.empty() && digits.find_first_not_of('0') == std::string::npos;
}

// A record time the device would take for something else: words of its own
// (see above), an option ("-t -5" reads as two), or no time at all.
std::string recordTimeProblem(const std::string& recordTime) {
    const std::string words = recordTimeWordsProblem(recordTime);
    if (!words.empty()) {
        return words;
    }
    const char* fault = recordTime.compare(0, 1, "-") == 0
                            ? "begins with \"-\": the device would read it as an option of its own, not as the time"
                        : isZero(recordTime) ? "is zero: the device would record nothing"
                                             : nullptr;
    if (fault == nullptr) {
        return {};
    }
    return "the record time " + quoted(recordTime) + " " + fault + "; give the number of seconds, such as 30";
}

std::string portPathKindText(PortPathKind kind) {
    switch (kind) {
        case PortPathKind::Folder:
            return "is a folder";
        case PortPathKind::RegularFile:
            return "is a file";
        case PortPathKind::DeviceNotTerminal:
            return "is a device but not a terminal";
        case PortPathKind::OtherFile:
            return "is a pipe, a socket or a block device";
        default:
            return {};
    }
}

std::string ssidBlankWarning(const std::string& ssid) {
    const auto blank = ssid.find(' ');
    if (blank == std::string::npos) {
        return {};
    }
    return "the network name " + quoted(ssid) +
           " contains a blank; the device's request separates the name from the pass phrase by a blank, "
           "so the device may take " +
           quoted(ssid.substr(0, blank)) + " as the name and the rest as part of the pass phrase";
}

std::string ssidLengthWarning(const std::string& ssid) {
    if (ssid.size() <= kLongestSsid) {
        return {};
    }
    return "the network name " + quoted(ssid) + " has " + quorvane::platform::byteCount(ssid.size()) +
           "; a Wi-Fi network name (SSID) has at most 32 bytes";
}

std::string passphraseWarning(const std::string& passphrase) {
    const std::size_t length = passphrase.size();
    if (length == 0 || (length >= kShortestPassphrase && length <= kLongestPassphrase)) {
        return {};
    }
    return "the pass phrase has " + quorvane::platform::byteCount(length) +
           "; a WPA pass phrase has 8 to 63 characters";
}

std::string recordTimeWarning(const std::string& recordTime) {
    if (recordTime.empty()) {
        return "the record time is empty; the device is sent the empty text as typed";
    }
    if (!isDecimal(recordTime)) {
        return "the record time " + quoted(recordTime) + " is not a number of seconds; the device is sent it as typed";
    }
    return {};
}

// A fifth argument counts only when atoi reads 1 in it ("1", also "01").
std::string channel3Warning(const RunOptions& options) {
    if (options.positionalCount != kChannel3Position + 1 || options.convertCh3) {
        return {};
    }
    return "the fifth argument is ignored: channel 3 is converted as well only with 1 there";
}

std::string ignoredArgumentsWarning(std::size_t positionalCount) {
    if (positionalCount <= kChannel3Position + 1) {
        return {};
    }
    return "the arguments after RECORD_TIME are ignored: only a fifth and last argument 1 is read, to convert "
           "channel 3 as well";
}

}  // namespace

CommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    CommandLine commandLine;
    bool optionsEnded = false;
    for (const std::string& argument : arguments) {
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && isOption(argument)) {
            commandLine.options.push_back(argument);
        } else {
            commandLine.positional.push_back(argument);
        }
    }
    return commandLine;
}

std::optional<std::chrono::seconds> takeUploadTimeout(std::vector<std::string>& options, std::string& problem) {
    std::optional<std::chrono::seconds> timeout;
    const std::string prefix = kUploadTimeoutOption;
    for (auto option = options.begin(); option != options.end();) {
        if (option->compare(0, prefix.size(), prefix) != 0) {
            ++option;
            continue;
        }
        const std::string value = option->substr(prefix.size());
        if (!isPositiveDecimal(value)) {
            problem = "--upload-timeout takes a whole number of seconds, at least 1: " + quoted(value);
        } else {
            timeout = std::chrono::seconds(std::atol(value.c_str()));
        }
        option = options.erase(option);
    }
    return timeout;
}

std::string usageProblem(const CommandLine& commandLine) {
    if (!commandLine.options.empty()) {
        const std::string& option = commandLine.options.front();
        if (option == kConvertOption) {
            return "--convert comes first: quorvane-capture --convert [FILE] [1]";
        }
        return isInformationOption(option) ? option + " takes no other arguments" : "unknown option " + option;
    }
    if (commandLine.positional.size() < kRunArgumentCount) {
        return missingArguments(commandLine.positional.size());
    }
    return {};
}

bool isConvertRequest(const std::vector<std::string>& arguments) {
    return !arguments.empty() && arguments.front() == kConvertOption;
}

ConvertRequest parseConvertRequest(const std::vector<std::string>& afterOption) {
    ConvertRequest request;
    for (const std::string& argument : afterOption) {
        if (isOption(argument)) {
            request.problem = "unknown option " + argument + " after --convert";
            return request;
        }
    }
    if (afterOption.size() > 2) {
        request.problem = "--convert takes at most a FILE and the switch 1";
    } else if (afterOption.size() == 1 && afterOption[0] == "1") {
        request.convertChannel3 = true;
    } else if (!afterOption.empty()) {
        request.file = afterOption[0];
        request.convertChannel3 = afterOption.size() == 2;
        if (request.file.empty()) {
            request.problem = "--convert was given an empty FILE";
        } else if (afterOption.size() == 2 && afterOption[1] != "1") {
            request.problem = "--convert " + quoted(request.file) +
                              " takes only 1 after it (to convert channel 3 "
                              "as well), not " +
                              quoted(afterOption[1]);
        }
    }
    return request;
}

RunOptions runOptionsFrom(const std::vector<std::string>& positional) {
    RunOptions options;
    options.ssid = positional[0];
    options.passphrase = positional[1];
    options.port = withoutComPrefix(positional[2]);
    options.recordTime = positional[3];
    options.convertCh3 =
        positional.size() == kChannel3Position + 1 && std::atoi(positional[kChannel3Position].c_str()) == 1;
    options.positionalCount = positional.size();
    return options;
}

bool passphraseFromInput(const RunOptions& options) {
    return options.passphrase == "-";
}

bool portArgumentIsDevicePath(const std::string& port) {
    return acceptsDevicePaths() && !port.empty() && port.front() == '/';
}

std::string portLabel(const std::string& port) {
    return portArgumentIsDevicePath(port) ? port : "COM" + port;
}

std::string runArgumentsProblem(const RunOptions& options) {
    if (!isPositiveDecimal(options.port) && !portArgumentIsDevicePath(options.port)) {
        return quoted(options.port) + " is not a serial port: " + portArgumentHint();
    }
    if (hasLineBreak(options.ssid)) {
        return lineBreakProblem("the Wi-Fi network name");
    }
    const std::string passphrase = passphraseProblem(options.passphrase);
    if (!passphrase.empty()) {
        return passphrase;
    }
    if (hasLineBreak(options.recordTime)) {
        return lineBreakProblem("the record time");
    }
    return recordTimeProblem(options.recordTime);
}

std::string passphraseProblem(const std::string& passphrase) {
    return hasLineBreak(passphrase) ? lineBreakProblem("the Wi-Fi pass phrase") : std::string();
}

std::string portPathProblem(const std::string& port) {
    if (!portArgumentIsDevicePath(port)) {
        return {};
    }
    const std::string kind = portPathKindText(examinePortPath(port));
    if (kind.empty()) {
        return {};
    }
    return "the port " + port + " " + kind + ", not a serial port: give the device of the serial port, such as " +
           "/dev/ttyUSB0 (quorvane-capture --list-ports shows them)";
}

std::vector<std::string> runArgumentWarnings(const RunOptions& options) {
    std::vector<std::string> warnings;
    for (std::string warning : {ssidBlankWarning(options.ssid), ssidLengthWarning(options.ssid),
                                passphraseWarning(options.passphrase), recordTimeWarning(options.recordTime),
                                channel3Warning(options), ignoredArgumentsWarning(options.positionalCount)}) {
        if (!warning.empty()) {
            warnings.push_back(std::move(warning));
        }
    }
    return warnings;
}

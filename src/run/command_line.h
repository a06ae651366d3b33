#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The command line after the program's name (UTF-8), split into options and
// the arguments the run reads by position. Everything after "--" counts by
// position, so that a network name may begin with "--".
struct CommandLine {
    std::vector<std::string> positional;
    std::vector<std::string> options;
};

CommandLine parseCommandLine(const std::vector<std::string>& arguments);

constexpr const char* kUploadTimeoutOption = "--upload-timeout=";

// Takes --upload-timeout=SECONDS out of `options`: how long after the
// recording's end the run waits for the upload to begin (none: until it is
// stopped). Sets `problem` when SECONDS is no whole number of seconds.
std::optional<std::chrono::seconds> takeUploadTimeout(std::vector<std::string>& options, std::string& problem);

// Says what keeps the command line from being a run ("RECORD_TIME is
// missing", "unknown option --verbose"), or empty when nothing does.
std::string usageProblem(const CommandLine& commandLine);

constexpr std::size_t kRunArgumentCount = 4;

constexpr const char* kConvertOption = "--convert";

// quorvane-capture --convert [FILE] [1]: the recording to convert again and
// whether channel 3 is wanted too.
struct ConvertRequest {
    std::string file = "record.pcm";
    bool convertChannel3 = false;
    // What keeps the arguments from being a request; empty when nothing does.
    std::string problem;
};

// True when the command line is a --convert (which comes first).
bool isConvertRequest(const std::vector<std::string>& arguments);

// Reads the arguments after --convert. A lone "1" is the channel-3 switch,
// as the last argument of a run is (a file named 1 is given as ./1); a
// second argument must be that switch.
ConvertRequest parseConvertRequest(const std::vector<std::string>& afterOption);

// What a run was asked to do, as the command line gave it.
struct RunOptions {
    std::string ssid;
    // As typed; "-" until the pass phrase has been read from standard input.
    std::string passphrase;
    // As typed, except that "COM3" (any case) is held as 3.
    std::string port;
    // As typed: the device is sent this text.
    std::string recordTime;
    // The channel-3 switch, which counts only as the last of exactly five
    // arguments and only when atoi gives 1.
    bool convertCh3 = false;
    std::size_t positionalCount = 0;
    // The folder (already made) that holds the run's files; empty: the
    // working folder. Each device of a station has one.
    std::string folder;
    // How long after the recording's end the upload may take to begin; none:
    // until the user stops the run.
    std::optional<std::chrono::seconds> uploadTimeout;
};

// The options of a run from its positional arguments (at least four).
RunOptions runOptionsFrom(const std::vector<std::string>& positional);

// True when the pass phrase is to be read from standard input ("-").
bool passphraseFromInput(const RunOptions& options);

// Why the options cannot drive a run, or empty when they can: a port that is
// neither a positive COM number nor (on POSIX) a device path, a line break
// that would let an argument end the device's command line early and inject
// another command, or a record time whose blanks or control characters would
// add words to the device's upload command, that begins with "-" (the device
// reads it as an option) or that is zero.
std::string runArgumentsProblem(const RunOptions& options);

// The same check for the pass phrase alone, for one read from standard input.
std::string passphraseProblem(const std::string& passphrase);

// Why a port given as a device path cannot be the serial port: it exists but
// is no terminal. Empty for a number, for a terminal, and for a path that does
// not exist yet (the device may be plugged in later).
std::string portPathProblem(const std::string& port);

// What the device may misread in the options, one warning each: a network
// name with a blank or over the Wi-Fi limit of 32 bytes, a pass phrase outside
// WPA's 8 to 63 characters, a record time that is no number of seconds, a
// fifth argument that is not the switch 1, and positional arguments after the
// fifth; the last two are ignored.
std::vector<std::string> runArgumentWarnings(const RunOptions& options);

// True when the port argument names a device (a path) rather than a COM number.
bool portArgumentIsDevicePath(const std::string& port);

// How the console lines name the port: "COM<n>" for a number, the path as typed.
std::string portLabel(const std::string& port);

#include "device_emulator/options.h"

#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <sstream>

#include "device_emulator/loopback.h"

namespace quorvane::emulator {

namespace {

using Apply = std::function<std::string(Options&, const std::string&)>;

struct OptionSpec {
    const char* name;
    const char* valueName;  // nullptr for a switch
    const char* help;
    Apply apply;
};

struct OptionGroup {
    const char* title;
    std::vector<OptionSpec> options;
};

constexpr double kMaxSeconds = 1e7;

std::optional<std::uint64_t> parseCount(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char digit : text) {
        const std::uint64_t next = value * 10 + static_cast<std::uint64_t>(digit - '0');
        if (value > std::numeric_limits<std::uint64_t>::max() / 10 || next < value) {
            return std::nullopt;
        }
        value = next;
    }
    return value;
}

std::optional<Milliseconds> parseSeconds(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) {
        return std::nullopt;
    }
    char* end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || seconds > kMaxSeconds) {
        return std::nullopt;
    }
    return Milliseconds(std::llround(seconds * 1000));
}

std::optional<CommandSet> parseCommandSet(const std::string& text) {
    CommandSet set{false, false, false};
    std::istringstream names(text);
    std::string name;
    while (std::getline(names, name, ',')) {
        if (name == "all") {
            set = CommandSet{};
        } else if (name == "heart_beat") {
            set.heartBeat = true;
        } else if (name == "wifi_connect") {
            set.wifiConnect = true;
        } else if (name == "upload_record") {
            set.uploadRecord = true;
        } else {
            return std::nullopt;
        }
    }
    return set;
}

std::string setCount(std::uint64_t& target, const std::string& text) {
    const auto value = parseCount(text);
    if (!value) {
        return "expects a whole number, not \"" + text + "\"";
    }
    target = *value;
    return {};
}

std::string setCount(std::optional<std::uint64_t>& target, const std::string& text) {
    std::uint64_t value = 0;
    std::string error = setCount(value, text);
    if (error.empty()) {
        target = value;
    }
    return error;
}

std::string setSeconds(std::optional<Milliseconds>& target, const std::string& text) {
    const auto value = parseSeconds(text);
    if (!value) {
        return "expects seconds (for example 2 or 0.5), not \"" + text + "\"";
    }
    target = value;
    return {};
}

std::string setSeconds(Milliseconds& target, const std::string& text) {
    std::optional<Milliseconds> value;
    std::string error = setSeconds(value, text);
    if (error.empty()) {
        target = *value;
    }
    return error;
}

std::string setMilliseconds(Milliseconds& target, const std::string& text) {
    const auto value = parseCount(text);
    if (!value || *value > static_cast<std::uint64_t>(kMaxSeconds * 1000)) {
        return "expects whole milliseconds, not \"" + text + "\"";
    }
    target = Milliseconds(static_cast<Milliseconds::rep>(*value));
    return {};
}

std::string setLoopback(std::string& target, const std::string& text) {
    if (!isLoopbackAddress(text)) {
        return "expects a loopback address (127.x.y.z), not \"" + text + "\"";
    }
    target = text;
    return {};
}

std::string setCommands(CommandSet& target, const std::string& text) {
    const auto value = parseCommandSet(text);
    if (!value) {
        return "expects a comma-separated list of heart_beat, wifi_connect, upload_record or all";
    }
    target = *value;
    return {};
}

std::string setPort(std::uint16_t& target, const std::string& text) {
    const auto value = parseCount(text);
    if (!value || *value == 0 || *value > 65535) {
        return "expects a TCP port from 1 to 65535, not \"" + text + "\"";
    }
    target = static_cast<std::uint16_t>(*value);
    return {};
}

std::string setSeed(std::optional<std::uint32_t>& target, const std::string& text) {
    const auto value = parseCount(text);
    if (!value || *value > std::numeric_limits<std::uint32_t>::max()) {
        return "expects a whole number below 2^32, not \"" + text + "\"";
    }
    target = static_cast<std::uint32_t>(*value);
    return {};
}

std::string setSignal(std::optional<UploadSignal>& target, const std::string& text) {
    if (text != "tones" && text != "test") {
        return "expects tones or test, not \"" + text + "\"";
    }
    target = text == "test" ? UploadSignal::Test : UploadSignal::Tones;
    return {};
}

std::string setDevices(unsigned& target, const std::string& text) {
    const auto value = parseCount(text);
    if (!value || *value == 0 || *value > kMaxDevices) {
        return "expects a number of devices from 1 to " + std::to_string(kMaxDevices) + ", not \"" + text + "\"";
    }
    target = static_cast<unsigned>(*value);
    return {};
}

std::string setWifiReply(Options& options, WifiReplyMode mode) {
    options.serial.wifiReplyMode = mode;
    return {};
}

std::vector<OptionGroup> serialGroups() {
    return {
        {"Serial line",
         {
             {"tty", "PATH", "serve this tty instead of opening a pseudo-terminal (prints no path)",
              [](Options& o, const std::string& v) {
                  o.serial.ttyPath = v;
                  return std::string();
              }},
             {"link", "PATH", "keep a symlink at PATH to the current pty; it is printed instead of the pty",
              [](Options& o, const std::string& v) {
                  o.serial.linkPath = v;
                  return std::string();
              }},
             {"request-log", "FILE", "write every byte received from the host to FILE, as received",
              [](Options& o, const std::string& v) {
                  o.serial.requestLogPath = v;
                  return std::string();
              }},
             {"answer-every", "N", "answer one heart-beat in N, the first one included (default 1)",
              [](Options& o, const std::string& v) { return setCount(o.serial.answerEvery, v); }},
         }},
        {"Wi-Fi reply (the last of these wins)",
         {
             {"wifi-ip", "ADDR", "reply {\"result\":1,\"ip\":\"ADDR\"} (default, with 127.0.0.1)",
              [](Options& o, const std::string& v) {
                  o.serial.wifiIp = v;
                  o.serial.wifiIpGiven = true;
                  return setWifiReply(o, WifiReplyMode::Success);
              }},
             {"wifi-fail", nullptr, "reply {\"result\":0}",
              [](Options& o, const std::string&) { return setWifiReply(o, WifiReplyMode::Failure); }},
             {"wifi-reply", "TEXT", "reply with TEXT verbatim between the tags (any text, JSON or not)",
              [](Options& o, const std::string& v) {
                  o.serial.wifiCustomReply = v;
                  return setWifiReply(o, WifiReplyMode::Custom);
              }},
             {"wifi-no-reply", nullptr, "never answer wifi_connect, so the host times out",
              [](Options& o, const std::string&) { return setWifiReply(o, WifiReplyMode::None); }},
         }},
    };
}

std::vector<OptionGroup> faultGroups() {
    return {
        {"Silence (the device hangs or resets)",
         {
             {"silent-after-heartbeats", "N", "answer N heart-beats, then nothing (0: never answer)",
              [](Options& o, const std::string& v) { return setCount(o.silence.afterHeartbeats, v); }},
             {"silent-after-wifi", nullptr, "answer nothing after the wifi_connect reply, and upload nothing",
              [](Options& o, const std::string&) {
                  o.silence.afterWifi = true;
                  return std::string();
              }},
             {"silent-after-upload-request", nullptr, "start the upload, then answer nothing on the serial line",
              [](Options& o, const std::string&) {
                  o.silence.afterUploadRequest = true;
                  return std::string();
              }},
             {"silence-resume", "SEC", "answer again after SEC seconds of silence",
              [](Options& o, const std::string& v) { return setSeconds(o.silence.resumeAfter, v); }},
             {"silence-repeat", nullptr, "after resuming, fall silent again after N more heart-beats, for ever",
              [](Options& o, const std::string&) {
                  o.silence.repeat = true;
                  return std::string();
              }},
             {"rejoin-fail", nullptr, "answer every Wi-Fi join after the first (after a reconnection) as failed",
              [](Options& o, const std::string&) {
                  o.serial.rejoinFail = true;
                  return std::string();
              }},
         }},
        {"Vanishing pty (the device is unplugged and comes back)",
         {
             {"vanish-after-heartbeats", "N", "answer N heart-beats; on the next one close the pty (0: mid-probe)",
              [](Options& o, const std::string& v) { return setCount(o.vanish.afterHeartbeats, v); }},
             {"vanish-after", "SEC", "close the pty SEC seconds after start",
              [](Options& o, const std::string& v) { return setSeconds(o.vanish.afterStart, v); }},
             {"vanish-for", "SEC", "stay gone SEC seconds, then open a fresh pty and re-point --link (default 2)",
              [](Options& o, const std::string& v) { return setSeconds(o.vanish.gone, v); }},
         }},
        {"Console text and line noise",
         {
             {"console-text", nullptr, "print console log lines before and after each frame",
              [](Options& o, const std::string&) {
                  o.chatter.consoleText = true;
                  return std::string();
              }},
             {"log-every", "MS", "print a console status line every MS milliseconds",
              [](Options& o, const std::string& v) { return setMilliseconds(o.chatter.logEvery, v); }},
             {"noise", "BYTES", "send BYTES random bytes (NUL included) before each frame",
              [](Options& o, const std::string& v) { return setCount(o.chatter.noiseBytes, v); }},
             {"noise-total", "BYTES", "stop the noise once BYTES have been sent in all",
              [](Options& o, const std::string& v) { return setCount(o.chatter.noiseTotal, v); }},
             {"noise-gap", "MS", "pause between noise and the frame after it (default 1500)",
              [](Options& o, const std::string& v) { return setMilliseconds(o.chatter.noiseGap, v); }},
             {"noise-for", "LIST", "commands whose frames get noise: heart_beat,wifi_connect,upload_record|all",
              [](Options& o, const std::string& v) { return setCommands(o.chatter.noiseFor, v); }},
             {"split", "BYTES", "send each frame in pieces of BYTES bytes",
              [](Options& o, const std::string& v) { return setCount(o.chatter.splitBytes, v); }},
             {"split-pause", "MS", "pause between the pieces of a frame (default 1200)",
              [](Options& o, const std::string& v) { return setMilliseconds(o.chatter.splitPause, v); }},
             {"split-for", "LIST", "commands whose frames are split (same form as --noise-for; default all)",
              [](Options& o, const std::string& v) { return setCommands(o.chatter.splitFor, v); }},
             {"seed", "N", "seed of the noise generator (default: a fresh one each run)",
              [](Options& o, const std::string& v) { return setSeed(o.chatter.seed, v); }},
         }},
    };
}

std::vector<OptionGroup> uploadGroups() {
    return {
        {"Upload",
         {
             {"upload-port", "PORT", "TCP port of the host's recording server (default 8888)",
              [](Options& o, const std::string& v) { return setPort(o.upload.port, v); }},
             {"upload-wait", "SEC", "wait SEC seconds before uploading instead of the record time (-t)",
              [](Options& o, const std::string& v) { return setSeconds(o.upload.wait, v); }},
             {"upload-bytes", "N", "upload N bytes (default: the record time's audio, or the source's size)",
              [](Options& o, const std::string& v) { return setCount(o.upload.bytes, v); }},
             {"upload-source", "FILE", "upload this raw 4-channel s16le file (repeated if too short)",
              [](Options& o, const std::string& v) {
                  o.upload.sourcePath = v;
                  return std::string();
              }},
             {"upload-signal", "NAME",
              "tones (default): a tone a channel; test: a tone, silence, a clipped tone, a copy of channel 1",
              [](Options& o, const std::string& v) { return setSignal(o.upload.signal, v); }},
             {"upload-copy", "FILE", "write every byte sent to FILE",
              [](Options& o, const std::string& v) {
                  o.upload.copyPath = v;
                  return std::string();
              }},
             {"upload-rate", "BYTES", "send at most BYTES bytes per second",
              [](Options& o, const std::string& v) { return setCount(o.upload.rate, v); }},
             {"pause-at", "N", "after N bytes, print \"sent N bytes\" on stdout and pause",
              [](Options& o, const std::string& v) { return setCount(o.upload.pauseAt, v); }},
             {"pause-for", "SEC", "length of that pause (default 5)",
              [](Options& o, const std::string& v) { return setSeconds(o.upload.pauseFor, v); }},
             {"reset-at", "N", "after N bytes, reset the connection (RST) instead of going on",
              [](Options& o, const std::string& v) { return setCount(o.upload.resetAt, v); }},
             {"hold-at", "N", "after N bytes, send nothing more and hold the connection open (no FIN, no RST)",
              [](Options& o, const std::string& v) { return setCount(o.upload.holdAt, v); }},
             {"reset-first", "BYTES", "once the Wi-Fi join is answered, connect, send BYTES and reset at once",
              [](Options& o, const std::string& v) { return setCount(o.upload.resetFirstBytes, v); }},
             {"upload-on-rejoin", nullptr, "start the upload once a later Wi-Fi join is answered, not after -t",
              [](Options& o, const std::string&) {
                  o.upload.uploadOnRejoin = true;
                  return std::string();
              }},
             {"upload-from", "ADDR", "connect from this local loopback address (e.g. 127.0.0.2)",
              [](Options& o, const std::string& v) { return setLoopback(o.upload.fromAddress, v); }},
             {"stranger-from", "ADDR", "before the upload, connect from ADDR as a stranger and send some bytes",
              [](Options& o, const std::string& v) { return setLoopback(o.upload.strangerFrom, v); }},
             {"stranger-bytes", "N", "bytes the stranger sends (default 4096)",
              [](Options& o, const std::string& v) { return setCount(o.upload.strangerBytes, v); }},
             {"connect-retry", "SEC", "keep retrying a refused connection for SEC seconds (default 30)",
              [](Options& o, const std::string& v) { return setSeconds(o.upload.connectRetry, v); }},
         }},
        {"Run",
         {
             {"keep-serving", nullptr, "go on serving the serial line after the upload",
              [](Options& o, const std::string&) {
                  o.run.keepServing = true;
                  return std::string();
              }},
             {"time-limit", "SEC", "exit with status 124 after SEC seconds (default 0: no limit)",
              [](Options& o, const std::string& v) { return setSeconds(o.run.timeLimit, v); }},
             {"host-gone", "SEC", "exit once the host has closed the pty for SEC seconds (default 10, 0: never)",
              [](Options& o, const std::string& v) { return setSeconds(o.run.hostGone, v); }},
             {"devices", "N",
              "play N devices (1 to 16) side by side, each on a pty of its own (see \"Several devices\")",
              [](Options& o, const std::string& v) { return setDevices(o.run.devices, v); }},
             {"device-option", "K:OPT[=V]",
              "give --OPT (=V its value) to device K only: 2:wifi-fail, 3:reset-at=65536 ...",
              [](Options&, const std::string&) { return std::string(); }},
             {"help", nullptr, "show this text", [](Options&, const std::string&) { return std::string(); }},
         }},
    };
}

std::vector<OptionGroup> allGroups() {
    std::vector<OptionGroup> groups = serialGroups();
    for (auto* more : {faultGroups, uploadGroups}) {
        for (OptionGroup& group : more()) {
            groups.push_back(std::move(group));
        }
    }
    return groups;
}

const OptionSpec* findOption(const std::vector<OptionGroup>& groups, const std::string& name) {
    for (const OptionGroup& group : groups) {
        for (const OptionSpec& option : group.options) {
            if (name == option.name) {
                return &option;
            }
        }
    }
    return nullptr;
}

std::string checkCombinations(const Options& options) {
    const bool vanishes = options.vanish.afterHeartbeats || options.vanish.afterStart;
    if (!options.serial.ttyPath.empty() && (!options.serial.linkPath.empty() || vanishes)) {
        return "--link and the vanish options need the emulator's own pty; they cannot go with --tty";
    }
    if (options.serial.answerEvery == 0) {
        return "--answer-every must be 1 or more";
    }
    if (options.silence.repeat && (!options.silence.afterHeartbeats || !options.silence.resumeAfter)) {
        return "--silence-repeat needs --silent-after-heartbeats and --silence-resume";
    }
    if (options.upload.signal && !options.upload.sourcePath.empty()) {
        return "--upload-signal and --upload-source both choose what is uploaded; give one of them";
    }
    return {};
}

// Takes the value of the option at arguments[index], from "--name=value" or
// from the next argument; advances index past what it used.
std::optional<std::string> takeValue(const std::vector<std::string>& arguments, std::size_t& index,
                                     const std::string& inlineValue, bool hasInlineValue) {
    if (hasInlineValue) {
        return inlineValue;
    }
    if (index + 1 >= arguments.size()) {
        return std::nullopt;
    }
    return arguments[++index];
}

std::string addDeviceOption(ParsedCommandLine& parsed, const std::string& text);

// Applies the option at arguments[index] (and its value) to result; returns
// what is wrong with it.
std::string applyArgument(const std::vector<OptionGroup>& groups, const std::vector<std::string>& arguments,
                          std::size_t& index, ParsedCommandLine& result) {
    const std::string& argument = arguments[index];
    if (argument.rfind("--", 0) != 0) {
        return "unexpected argument \"" + argument + "\"";
    }
    const std::size_t equals = argument.find('=');
    const std::string name = argument.substr(2, equals - 2);
    const OptionSpec* option = findOption(groups, name);
    if (option == nullptr) {
        return "unknown option --" + name;
    }
    if (name == "help") {
        result.helpRequested = true;
        return {};
    }
    const bool hasInlineValue = equals != std::string::npos;
    if (option->valueName == nullptr) {
        return hasInlineValue ? "--" + name + " takes no value" : option->apply(result.options, {});
    }
    const auto value = takeValue(arguments, index, hasInlineValue ? argument.substr(equals + 1) : "", hasInlineValue);
    if (!value) {
        return "--" + name + " needs a value (" + option->valueName + ")";
    }
    const std::string error =
        name == "device-option" ? addDeviceOption(result, *value) : option->apply(result.options, *value);
    return error.empty() ? error : "--" + name + " " + error;
}

// "K:NAME[=VALUE]": checked on a scratch copy now, applied on top of all
// other options when the device's options are made.
std::string addDeviceOption(ParsedCommandLine& parsed, const std::string& text) {
    const std::size_t colon = text.find(':');
    const auto device = parseCount(text.substr(0, colon));
    if (colon == std::string::npos || !device || *device == 0 || *device > kMaxDevices) {
        return "expects K:OPTION with K from 1 to " + std::to_string(kMaxDevices) + ", not \"" + text + "\"";
    }
    const std::string argument = "--" + text.substr(colon + 1);
    const std::string name = argument.substr(2, argument.find('=') - 2);
    if (name == "devices" || name == "device-option" || name == "help" || name == "tty") {
        return "cannot give --" + name + " to one device";
    }
    ParsedCommandLine scratch;
    std::size_t index = 0;
    const std::string error = applyArgument(allGroups(), {argument}, index, scratch);
    if (!error.empty()) {
        return "for device " + std::to_string(*device) + ": " + error;
    }
    parsed.deviceOptions.push_back({static_cast<unsigned>(*device), argument});
    return {};
}

// With several devices, device k reports 127.0.0.(k+1) and uploads from the
// address it reports, so that the host can tell the devices' connections
// apart; files each device writes get its number.
Options withIdentity(Options options, unsigned device) {
    const bool several = options.run.devices > 1;
    if (several) {
        if (!options.serial.wifiIpGiven) {
            options.serial.wifiIp = "127.0.0." + std::to_string(device + 1);
        }
        for (std::string* path : {&options.upload.copyPath, &options.serial.requestLogPath}) {
            *path = path->empty() ? *path : pathOfDevice(*path, device);
        }
        options.upload.device = device;
    }
    if (options.upload.fromAddress.empty() && (several || options.serial.wifiIpGiven)) {
        options.upload.fromAddress = loopbackTarget(options.serial.wifiIp);
    }
    return options;
}

std::string checkDevices(const ParsedCommandLine& parsed) {
    const unsigned devices = parsed.options.run.devices;
    if (devices > 1 && !parsed.options.serial.linkPath.empty()) {
        return "with --devices, give each device its own link: --device-option K:link=PATH";
    }
    for (const DeviceOption& option : parsed.deviceOptions) {
        if (option.device > devices) {
            return "--device-option names device " + std::to_string(option.device) + " of " + std::to_string(devices);
        }
    }
    for (unsigned device = 1; device <= devices; ++device) {
        const Options options = optionsOfDevice(parsed, device);
        if (devices > 1 && !options.serial.ttyPath.empty()) {
            return "--tty serves one device; it cannot go with --devices";
        }
        const std::string error = checkCombinations(options);
        if (!error.empty()) {
            return devices > 1 ? "device " + std::to_string(device) + ": " + error : error;
        }
    }
    return {};
}

}  // namespace

bool CommandSet::contains(CommandKind kind) const {
    switch (kind) {
        case CommandKind::HeartBeat:
            return heartBeat;
        case CommandKind::WifiConnect:
            return wifiConnect;
        case CommandKind::UploadRecord:
            return uploadRecord;
        case CommandKind::Unknown:
            break;
    }
    return false;
}

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments) {
    const std::vector<OptionGroup> groups = allGroups();
    ParsedCommandLine result;
    for (std::size_t index = 0; index < arguments.size() && result.error.empty(); ++index) {
        result.error = applyArgument(groups, arguments, index, result);
    }
    if (result.error.empty()) {
        result.error = checkDevices(result);
    }
    return result;
}

Options optionsOfDevice(const ParsedCommandLine& parsed, unsigned device) {
    const std::vector<OptionGroup> groups = allGroups();
    ParsedCommandLine own;
    own.options = parsed.options;
    for (const DeviceOption& option : parsed.deviceOptions) {
        if (option.device == device) {
            std::size_t index = 0;
            applyArgument(groups, {option.argument}, index, own);
        }
    }
    return withIdentity(own.options, device);
}

std::string pathOfDevice(const std::string& path, unsigned device) {
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot <= nameStart) {
        dot = path.size();
    }
    return path.substr(0, dot) + "-" + std::to_string(device) + path.substr(dot);
}

std::string usageText() {
    std::ostringstream text;
    text << "usage: quorvane-device-emulator [OPTION]...\n\n"
            "Plays the four-channel audio device on a serial line: opens a pseudo-terminal,\n"
            "prints its path (give it to quorvane-capture), answers the host's requests, and\n"
            "uploads a recording to the host over TCP when asked. It only ever connects to\n"
            "loopback addresses: any other upload address is replaced by 127.0.0.1.\n";
    for (const OptionGroup& group : allGroups()) {
        text << "\n" << group.title << ":\n";
        for (const OptionSpec& option : group.options) {
            std::string head = std::string("  --") + option.name;
            if (option.valueName != nullptr) {
                head += std::string(" ") + option.valueName;
            }
            text << head << std::string(head.size() < 32 ? 32 - head.size() : 1, ' ') << option.help << "\n";
        }
    }
    text << "\nSeveral devices (--devices N with N > 1):\n"
            "  The N pty paths are printed one a line, device 1's first. Device k reports\n"
            "  127.0.0.(k+1) in its Wi-Fi reply (every device reports ADDR with --wifi-ip ADDR)\n"
            "  and uploads from the address it reports, or from 127.0.0.1 when that is not a\n"
            "  loopback address (--upload-from ADDR: every device from ADDR). Device k's tones\n"
            "  are "
         << kDeviceToneStepHz
         << " Hz times k-1 above device 1's, which are a single device's. --upload-copy\n"
            "  and --request-log FILE become FILE-k.EXT (record.pcm: record-2.pcm, record-3.pcm\n"
            "  ...), and log lines and the lines printed after the paths (\"sent N bytes\")\n"
            "  start with \"device k: \".\n"
            "  Every option applies to every device; --device-option K:OPT[=V] gives one to\n"
            "  device K only. The exit status is the highest of the devices'.\n";
    text << "\nOptions take their value as the next argument or after '='.\n"
            "Exit status: 0 upload sent (or reset as asked), stopped by a signal, or host gone;\n"
            "1 the upload failed or the port could not be set up; 2 bad options; 124 time limit.\n";
    return text.str();
}

}  // namespace quorvane::emulator

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device_emulator/request.h"
#include "device_emulator/timing.h"
#include "device_emulator/upload_content.h"

namespace quorvane::emulator {

enum class WifiReplyMode { Success, Failure, Custom, None };

// The commands whose frames a fault (noise, splitting) applies to.
struct CommandSet {
    bool heartBeat = true;
    bool wifiConnect = true;
    bool uploadRecord = true;

    bool contains(CommandKind kind) const;
};

struct SerialOptions {
    std::string ttyPath;
    std::string linkPath;
    std::string requestLogPath;
    WifiReplyMode wifiReplyMode = WifiReplyMode::Success;
    std::string wifiIp = "127.0.0.1";
    // With several devices and no --wifi-ip, device k reports 127.0.0.(k+1).
    bool wifiIpGiven = false;
    std::string wifiCustomReply;
    std::uint64_t answerEvery = 1;
    // Joins after the first (after a reconnection) are answered as failed.
    bool rejoinFail = false;
};

struct SilenceOptions {
    std::optional<std::uint64_t> afterHeartbeats;
    bool afterWifi = false;
    bool afterUploadRequest = false;
    std::optional<Milliseconds> resumeAfter;
    bool repeat = false;
};

struct VanishOptions {
    std::optional<std::uint64_t> afterHeartbeats;
    std::optional<Milliseconds> afterStart;
    Milliseconds gone{2000};
};

struct ChatterOptions {
    bool consoleText = false;
    Milliseconds logEvery{0};
    std::uint64_t noiseBytes = 0;
    std::optional<std::uint64_t> noiseTotal;
    Milliseconds noiseGap{1500};
    CommandSet noiseFor;
    std::uint64_t splitBytes = 0;
    Milliseconds splitPause{1200};
    CommandSet splitFor;
    std::optional<std::uint32_t> seed;
};

struct UploadOptions {
    std::uint16_t port = 8888;
    std::optional<Milliseconds> wait;
    std::optional<std::uint64_t> bytes;
    std::string sourcePath;
    // Nothing: tones, unless a source file is given.
    std::optional<UploadSignal> signal;
    std::string copyPath;
    // Whose signal: device k's tones are its own, device 1's those of a
    // single device.
    unsigned device = 1;
    std::uint64_t rate = 0;
    std::optional<std::uint64_t> pauseAt;
    Milliseconds pauseFor{5000};
    std::optional<std::uint64_t> resetAt;
    std::optional<std::uint64_t> holdAt;
    std::optional<std::uint64_t> resetFirstBytes;
    bool uploadOnRejoin = false;
    std::string fromAddress;
    std::string strangerFrom;
    std::uint64_t strangerBytes = 4096;
    Milliseconds connectRetry{30000};
};

struct RunOptions {
    bool keepServing = false;
    Milliseconds timeLimit{0};
    Milliseconds hostGone{10000};
    unsigned devices = 1;
};

constexpr unsigned kMaxDevices = 16;

// One option given to one device only: "--device-option K:NAME[=VALUE]".
struct DeviceOption {
    unsigned device = 1;
    std::string argument;  // "--NAME[=VALUE]"
};

struct Options {
    SerialOptions serial;
    SilenceOptions silence;
    VanishOptions vanish;
    ChatterOptions chatter;
    UploadOptions upload;
    RunOptions run;
};

struct ParsedCommandLine {
    Options options;
    std::vector<DeviceOption> deviceOptions;
    bool helpRequested = false;
    std::string error;
};

ParsedCommandLine parseCommandLine(const std::vector<std::string>& arguments);

// What device `device` (1-based) of a parsed command line plays: the
// options of all devices, its own on top, and with several devices its own
// address, its own signal and its own copy and request log files.
Options optionsOfDevice(const ParsedCommandLine& parsed, unsigned device);

// FILE with "-k" before its extension: record.pcm, 2 -> record-2.pcm.
std::string pathOfDevice(const std::string& path, unsigned device);

std::string usageText();

}  // namespace quorvane::emulator

#include "station/device_state.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <set>

#include "recording/channel_levels.h"

namespace quorvane::station {

namespace {

constexpr const char* kEmptyName = "port";

// Windows keeps a file name's part before the first dot as a device name
// for these, whatever follows ("COM3", "nul.txt"); COM0 and LPT0 are on its
// list too.
constexpr std::array<const char*, 4> kReservedNames = {"CON", "PRN", "AUX", "NUL"};
constexpr std::array<const char*, 2> kNumberedReservedNames = {"COM", "LPT"};

// A folder name well within the 255 characters both systems allow, leaving
// room for the "-2" a repeated name gets.
constexpr std::size_t kLongestName = 120;

std::string upperCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char character) { return static_cast<char>(std::toupper(character)); });
    return text;
}

bool allDigits(const std::string& text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](unsigned char character) { return std::isdigit(character) != 0; });
}

bool reservedStem(const std::string& stem) {
    const std::string upper = upperCase(stem);
    const bool named = std::find(kReservedNames.begin(), kReservedNames.end(), upper) != kReservedNames.end();
    const bool numbered = upper.size() == 4 && std::isdigit(static_cast<unsigned char>(upper[3])) != 0 &&
                          std::find(kNumberedReservedNames.begin(), kNumberedReservedNames.end(), upper.substr(0, 3)) !=
                              kNumberedReservedNames.end();
    return named || numbered;
}

// Both systems' separators: a Windows device path ("\\.\COM10") and a POSIX
// one ("/dev/serial/by-id/...") name the port by their last component.
// A path's last component, with the one before it when it is a bare number
// ("/dev/pts/3" -> "pts-3"): "3" alone would read as COM3.
std::string lastComponent(const std::string& port) {
    const std::size_t separator = port.find_last_of("/\\");
    if (separator == std::string::npos) {
        return port;
    }
    const std::string last = port.substr(separator + 1);
    const std::size_t before = separator == 0 ? std::string::npos : port.find_last_of("/\\", separator - 1);
    if (!allDigits(last) || separator == 0) {
        return last;
    }
    const std::size_t from = before == std::string::npos ? 0 : before + 1;
    return port.substr(from, separator - from) + "-" + last;
}

// Every byte outside [A-Za-z0-9._-] (spaces, ':', '$', UTF-8) becomes '_',
// so that no system, shell or archive tool reads the name differently.
std::string portableCharacters(std::string name) {
    for (char& character : name) {
        const auto byte = static_cast<unsigned char>(character);
        if (std::isalnum(byte) == 0 || byte >= 0x80) {
            character = character == '.' || character == '-' ? character : '_';
        }
    }
    return name;
}

// Windows drops the dots at a name's end, so that "COM3." would open COM3.
std::string withoutTrailingDots(std::string name) {
    for (auto at = name.rbegin(); at != name.rend() && *at == '.'; ++at) {
        *at = '_';
    }
    return name;
}

// An underscore after the reserved part keeps the port's name readable and
// sorted by it, where a prefix would not; the rule applies on Linux as well,
// so that a station's folders are named the same on both systems.
std::string unreserved(std::string name) {
    const std::size_t dot = name.find('.');
    const std::size_t stemEnd = dot == std::string::npos ? name.size() : dot;
    if (reservedStem(name.substr(0, stemEnd))) {
        name.insert(stemEnd, "_");
    }
    return name;
}

}  // namespace

const char* stageName(DeviceStage stage) {
    switch (stage) {
        case DeviceStage::Opening:
            return "opening";
        case DeviceStage::Joining:
            return "joining";
        case DeviceStage::WaitingTurn:
            return "waiting for its turn";
        case DeviceStage::Recording:
            return "recording";
        case DeviceStage::Uploading:
            return "uploading";
        case DeviceStage::Converting:
            return "converting";
        case DeviceStage::Ended:
            return "ended";
    }
    return "ended";
}

std::string outcomeText(const DeviceState& device) {
    if (device.stage != DeviceStage::Ended) {
        return stageName(device.stage);
    }
    if (device.stored) {
        return "ok";
    }
    return device.failureReason.empty() ? "failed" : "failed: " + device.failureReason;
}

std::string channelsNotOk(const DeviceState& device) {
    std::string text;
    if (!device.summary) {
        return text;
    }
    for (int channel = 0; channel < recording::kChannelCount; ++channel) {
        const auto& levels = device.summary->channels[channel].levels;
        if (levels && levels->verdict != recording::Verdict::Ok) {
            text +=
                (text.empty() ? "ch" : ", ch") + std::to_string(channel + 1) + " " + recording::verdictText(*levels);
        }
    }
    return text;
}

bool deviceFailed(const DeviceState& device) {
    return device.stage != DeviceStage::Ended || !device.stored || !channelsNotOk(device).empty();
}

std::string oneLine(std::string text) {
    for (char& character : text) {
        const auto byte = static_cast<unsigned char>(character);
        if (byte < 0x20 || byte == 0x7F) {
            character = ' ';
        }
    }
    return text;
}

// A bare number is what the tool takes for a COM port on Windows.
std::string folderNameForPort(const std::string& port) {
    std::string name = lastComponent(port);
    if (name.empty() || name == "." || name == "..") {
        return kEmptyName;
    }
    if (allDigits(port)) {
        name = "COM" + name;
    }
    name = portableCharacters(name.substr(0, kLongestName));
    return unreserved(withoutTrailingDots(name));
}

std::vector<std::string> uniqueFolderNames(const std::vector<std::string>& ports) {
    std::vector<std::string> names;
    std::set<std::string> taken;
    for (const std::string& port : ports) {
        const std::string base = folderNameForPort(port);
        std::string name = base;
        for (int repeat = 2; taken.count(upperCase(name)) != 0; ++repeat) {
            name = base + "-" + std::to_string(repeat);
        }
        taken.insert(upperCase(name));
        names.push_back(name);
    }
    return names;
}

}  // namespace quorvane::station

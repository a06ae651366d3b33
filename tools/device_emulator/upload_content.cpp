#include "device_emulator/upload_content.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace quorvane::emulator {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Long enough for any real record time, small enough that its bytes fit in
// 64 bits with room to spare.
constexpr double kMaxRecordSeconds = 1e7;

// The phase is taken modulo one second in whole samples, which keeps it
// exact however long the recording runs.
double sine(int hz, std::uint64_t frame) {
    const std::uint64_t step = (static_cast<std::uint64_t>(hz) * frame) % kSampleRate;
    return std::sin(2.0 * kPi * static_cast<double>(step) / kSampleRate);
}

std::int16_t clippedSample(double value) {
    return static_cast<std::int16_t>(std::lround(std::clamp(value, -32768.0, 32767.0)));
}

}  // namespace

int toneHz(int channel, unsigned device) {
    return kToneHz[channel] + static_cast<int>(device - 1) * kDeviceToneStepHz;
}

std::int16_t toneSample(int channel, std::uint64_t frame, unsigned device) {
    return static_cast<std::int16_t>(std::lround(kToneAmplitude * sine(toneHz(channel, device), frame)));
}

// Channels count from 0 here, as in the frame.
std::int16_t testSignalSample(int channel, std::uint64_t frame, unsigned device) {
    switch (channel) {
        case 1:
            return 0;
        case 2:
            return clippedSample(kTestSignalOverdrive * 32768.0 * sine(toneHz(1, device), frame));
        default:  // channel 0 and its copy, channel 3
            return toneSample(0, frame, device);
    }
}

void SignalSource::frameBytes(std::uint64_t frame, char (&out)[kFrameBytes]) const {
    for (int channel = 0; channel < kChannels; ++channel) {
        const auto sample = static_cast<std::uint16_t>(sample_(channel, frame, device_));
        out[2 * channel] = static_cast<char>(sample & 0xFF);
        out[2 * channel + 1] = static_cast<char>(sample >> 8);
    }
}

void SignalSource::read(char* out, std::size_t count) {
    char frame[kFrameBytes];
    for (std::size_t i = 0; i < count; ++i, ++position_) {
        const std::size_t offset = position_ % kFrameBytes;
        if (i == 0 || offset == 0) {
            frameBytes(position_ / kFrameBytes, frame);
        }
        out[i] = frame[offset];
    }
}

LoopingFileSource::LoopingFileSource(const std::string& path) : file_(path, std::ios::binary) {
    if (!file_ || file_.peek() == std::ifstream::traits_type::eof()) {
        throw std::runtime_error("cannot read the upload source " + path + " (missing or empty)");
    }
}

void LoopingFileSource::read(char* out, std::size_t count) {
    std::size_t filled = 0;
    bool rewound = false;
    while (filled < count) {
        file_.read(out + filled, static_cast<std::streamsize>(count - filled));
        const auto got = static_cast<std::size_t>(file_.gcount());
        if (got == 0 && rewound) {
            throw std::runtime_error("the upload source stopped giving data");
        }
        filled += got;
        rewound = filled < count;
        if (rewound) {
            file_.clear();
            file_.seekg(0);
        }
    }
}

std::unique_ptr<ContentSource> openContentSource(const std::string& path, UploadSignal signal, unsigned device) {
    if (path.empty()) {
        return std::make_unique<SignalSource>(signal == UploadSignal::Test ? testSignalSample : toneSample, device);
    }
    return std::make_unique<LoopingFileSource>(path);
}

std::optional<std::uint64_t> fileSize(const std::string& path) {
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(file.tellg());
}

std::uint64_t bytesOfAudio(double seconds) {
    return static_cast<std::uint64_t>(std::llround(seconds * kSampleRate)) * kFrameBytes;
}

std::optional<double> parseRecordSeconds(const std::string& text) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) {
        return std::nullopt;
    }
    char* end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || seconds > kMaxRecordSeconds) {
        return std::nullopt;
    }
    return seconds;
}

}  // namespace quorvane::emulator

#include "upload/channel_split.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "platform/files.h"
#include "platform/diagnostics.h"
#include "upload/record_files.h"

namespace upload {

namespace {

constexpr std::size_t kFrameBytes = 8;
constexpr std::size_t kSampleBytes = 2;
constexpr std::size_t kFramesPerBlock = 160;
constexpr std::size_t kBlockBytes = kFramesPerBlock * kFrameBytes;

std::ofstream* const kChannelOut[kChannelCount] = {&g_ch1Out, &g_ch2Out, &g_ch3Out, &g_ch4Out};

struct SplitTally {
    std::uint64_t frames = 0;
    std::size_t trailingBytes = 0;
};

void abandonSplit() {
    g_recordIn.close();
    for (int channel = 1; channel <= kChannelCount; ++channel) {
        kChannelOut[channel - 1]->close();
        platform::deleteFile(channelPcmName(channel).c_str());
    }
}

// A working folder removed during the upload takes record.pcm with it, though
// every byte was written to it.
const char* recordState() {
    return fileSize(kRecordPath) >= 0 ? "record.pcm keeps the whole upload"
                                      : "record.pcm is gone (was the working folder removed?) and the upload with it";
}

bool failSplit(const char* action, const std::string& file, int error) {
    platform::diagnose("error: cannot %s %s: %s; %s, no channel or WAV files were made\n", action, file.c_str(),
             fileErrorText(error).c_str(), recordState());
    abandonSplit();
    return false;
}

bool openSplitFiles() {
    errno = 0;
    g_recordIn.open(kRecordPath, std::ios::in | std::ios::binary);
    if (!g_recordIn.is_open()) {
        return failSplit("reopen", "record.pcm", errno);
    }
    for (int channel = 1; channel <= kChannelCount; ++channel) {
        const std::string name = channelPcmName(channel);
        errno = 0;
        kChannelOut[channel - 1]->open("./" + name, std::ios::out | std::ios::binary);
        if (!kChannelOut[channel - 1]->is_open()) {
            return failSplit("create", name, errno);
        }
    }
    return true;
}

void deinterleave(const char* block, std::size_t frames, char (*samples)[kFramesPerBlock * kSampleBytes]) {
    for (std::size_t frame = 0; frame < frames; ++frame) {
        for (int channel = 0; channel < kChannelCount; ++channel) {
            std::memcpy(samples[channel] + frame * kSampleBytes,
                        block + frame * kFrameBytes + static_cast<std::size_t>(channel) * kSampleBytes, kSampleBytes);
        }
    }
}

bool writeSamples(char (*samples)[kFramesPerBlock * kSampleBytes], std::size_t frames) {
    for (int channel = 1; channel <= kChannelCount; ++channel) {
        errno = 0;
        kChannelOut[channel - 1]->write(samples[channel - 1], static_cast<std::streamsize>(frames * kSampleBytes));
        if (!*kChannelOut[channel - 1]) {
            return failSplit("write", channelPcmName(channel), errno);
        }
    }
    return true;
}

bool copyFrames(SplitTally& tally) {
    char block[kBlockBytes];
    char samples[kChannelCount][kFramesPerBlock * kSampleBytes];
    for (;;) {
        errno = 0;
        g_recordIn.read(block, sizeof block);
        const int readError = errno;
        const auto count = static_cast<std::size_t>(g_recordIn.gcount());
        deinterleave(block, count / kFrameBytes, samples);
        if (!writeSamples(samples, count / kFrameBytes)) {
            return false;
        }
        tally.frames += count / kFrameBytes;
        tally.trailingBytes = count % kFrameBytes;
        if (g_recordIn.eof()) {
            return true;
        }
        if (!g_recordIn) {
            return failSplit("read", "record.pcm", readError);
        }
    }
}

// Closing writes what the streams still buffer, so a full disk may show only
// here.
bool closeSplitFiles() {
    g_recordIn.close();
    for (int channel = 1; channel <= kChannelCount; ++channel) {
        errno = 0;
        kChannelOut[channel - 1]->close();
        if (kChannelOut[channel - 1]->fail()) {
            return failSplit("write", channelPcmName(channel), errno);
        }
    }
    return true;
}

}  // namespace

bool splitRecording(const ProgressClock& clock) {
    const auto began = clock();
    SplitTally tally;
    if (!openSplitFiles() || !copyFrames(tally) || !closeSplitFiles()) {
        return false;
    }
    if (tally.trailingBytes != 0) {
        platform::diagnose(
            "record.pcm ends with %u bytes that make no whole 8-byte frame; they stay in record.pcm "
            "and go to no channel file\n",
            static_cast<unsigned>(tally.trailingBytes));
    }
    platform::diagnose("split %llu frames into record_ch1.pcm .. record_ch4.pcm in %.2f s\n",
             static_cast<unsigned long long>(tally.frames), secondsBetween(began, clock()));
    return true;
}

}  // namespace upload

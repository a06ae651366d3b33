#include "recording/channel_split.h"

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <utility>

#include "platform/diagnostics.h"
#include "platform/files.h"
#include "recording/record_files.h"

namespace quorvane::recording {

namespace {

constexpr std::size_t kFramesPerBlock = 160;
constexpr std::size_t kBlockBytes = kFramesPerBlock * kFrameBytes;

using ChannelBlocks = char[kChannelCount][kFramesPerBlock * kSampleBytes];

// One split of one recording; the first failure ends it.
class Split {
public:
    Split(const RecordingSource& source, RecordingFiles& files, RecordingCheck& check,
          std::function<bool()> interrupted)
        : source_(source), files_(files), check_(check), interrupted_(std::move(interrupted)) {}

    bool run() { return openRecording() && copyFrames() && closeFiles(); }

    const std::optional<SplitFailure>& failure() const { return failure_; }
    std::uint64_t bytesRead() const { return bytesRead_; }
    std::uint64_t frames() const { return frames_; }
    std::size_t trailingBytes() const { return trailingBytes_; }

private:
    bool fail(const char* action, const std::string& file, int error);
    bool stopInterrupted();
    void abandon();
    const char* recordingState() const;
    bool openRecording();
    bool createChannelFiles();
    bool writeSamples(ChannelBlocks& samples, std::size_t frames);
    bool copyFrames();
    bool closeFiles();

    const RecordingSource& source_;
    RecordingFiles& files_;
    RecordingCheck& check_;
    const std::function<bool()> interrupted_;
    std::optional<SplitFailure> failure_;
    bool channelFilesCreated_ = false;
    std::uint64_t bytesRead_ = 0;
    std::uint64_t frames_ = 0;
    std::size_t trailingBytes_ = 0;
};

void deinterleave(const char* block, std::size_t frames, ChannelBlocks& samples) {
    for (std::size_t frame = 0; frame < frames; ++frame) {
        for (int channel = 0; channel < kChannelCount; ++channel) {
            std::memcpy(samples[channel] + frame * kSampleBytes,
                        block + frame * kFrameBytes + static_cast<std::size_t>(channel) * kSampleBytes, kSampleBytes);
        }
    }
}

// Channel files of an earlier split stay when this one made none.
void Split::abandon() {
    files_.recordIn().close();
    if (!channelFilesCreated_) {
        return;
    }
    for (int channel = 1; channel <= kChannelCount; ++channel) {
        files_.channelOut(channel).close();
        platform::deleteFile(files_.path(channelPcmName(channel)).c_str());
    }
}

// A working folder removed during the upload takes record.pcm with it, though
// every byte was written to it.
const char* Split::recordingState() const {
    return fileSize(source_.path) >= 0 ? "keeps the whole upload"
                                       : "is gone (was the working folder removed?) and the upload with it";
}

bool Split::fail(const char* action, const std::string& file, int error) {
    failure_ = SplitFailure{action, file, error};
    platform::diagnose("error: %s; %s %s, no channel or WAV files were made\n", splitFailureText(*failure_).c_str(),
                       source_.name.c_str(), recordingState());
    abandon();
    return false;
}

bool Split::stopInterrupted() {
    const std::int64_t size = fileSize(source_.path);
    const auto bytes = static_cast<unsigned long long>(size > 0 ? size : 0);
    platform::diagnose(
        "interrupted: %s keeps all %llu bytes received (%s of audio); the split was stopped, no "
        "channel or WAV files were made\n",
        source_.name.c_str(), bytes, audioDuration(bytes).c_str());
    failure_ = SplitFailure{"split", source_.name, 0, true};
    abandon();
    return false;
}

bool Split::openRecording() {
    errno = 0;
    files_.recordIn().rdbuf()->pubsetbuf(files_.readBuffer(), static_cast<std::streamsize>(files_.readBufferSize()));
    // UTF-8 on every system: a --convert may name any file.
    files_.recordIn().open(std::filesystem::u8path(source_.path), std::ios::in | std::ios::binary);
    if (!files_.recordIn().is_open()) {
        return fail("reopen", source_.name, errno);
    }
    return true;
}

bool Split::createChannelFiles() {
    channelFilesCreated_ = true;
    for (int channel = 1; channel <= kChannelCount; ++channel) {
        const std::string name = channelPcmName(channel);
        errno = 0;
        files_.channelOut(channel).rdbuf()->pubsetbuf(files_.writeBuffer(channel), static_cast<std::streamsize>(files_.writeBufferSize()));
        files_.channelOut(channel).open(std::filesystem::u8path(files_.path(name)), std::ios::out | std::ios::binary);
        if (!files_.channelOut(channel).is_open()) {
            return fail("create", name, errno);
        }
    }
    return true;
}

bool Split::writeSamples(ChannelBlocks& samples, std::size_t frames) {
    if (frames == 0) {
        return true;
    }
    if (!channelFilesCreated_ && !createChannelFiles()) {
        return false;
    }
    for (int channel = 1; channel <= kChannelCount; ++channel) {
        errno = 0;
        files_.channelOut(channel).write(samples[channel - 1], static_cast<std::streamsize>(frames * kSampleBytes));
        if (!files_.channelOut(channel)) {
            return fail("write", channelPcmName(channel), errno);
        }
    }
    return true;
}

bool Split::copyFrames() {
    char block[kBlockBytes];
    ChannelBlocks samples;
    for (;;) {
        errno = 0;
        files_.recordIn().read(block, sizeof block);
        const int readError = errno;
        const auto count = static_cast<std::size_t>(files_.recordIn().gcount());
        bytesRead_ += count;
        const std::size_t frames = count / kFrameBytes;
        deinterleave(block, frames, samples);
        if (!writeSamples(samples, frames)) {
            return false;
        }
        check_.add(block, frames);
        frames_ += frames;
        trailingBytes_ = count % kFrameBytes;
        if (files_.recordIn().eof()) {
            return true;
        }
        if (!files_.recordIn()) {
            return fail("read", source_.name, readError);
        }
        if (interrupted_ && interrupted_()) {
            return stopInterrupted();
        }
    }
}

// Closing writes what the streams still buffer, so a full disk may show only
// here.
bool Split::closeFiles() {
    files_.recordIn().close();
    if (!channelFilesCreated_) {
        return true;
    }
    for (int channel = 1; channel <= kChannelCount; ++channel) {
        errno = 0;
        files_.channelOut(channel).close();
        if (files_.channelOut(channel).fail()) {
            return fail("write", channelPcmName(channel), errno);
        }
    }
    return true;
}

}  // namespace

RecordingSource runRecording(const RecordingFiles& files) {
    return {files.path(kRecordFileName), kRecordFileName};
}

std::string splitFailureText(const SplitFailure& failure) {
    return "cannot " + failure.action + " " + failure.file + ": " + fileErrorText(failure.error);
}

SplitOutcome splitRecording(const RecordingSource& source, const ProcessingSettings& settings, RecordingCheck& check) {
    const auto began = settings.clock();
    Split split(source, *settings.files, check, settings.interrupted);
    if (!split.run()) {
        return {split.bytesRead(), split.failure()};
    }
    if (split.frames() == 0) {
        return {split.bytesRead(), std::nullopt};
    }
    if (split.trailingBytes() != 0) {
        platform::diagnose("%s ends with %s outside any whole 8-byte frame, kept in %s and in no channel file\n",
                           source.name.c_str(), platform::byteCount(split.trailingBytes()).c_str(),
                           source.name.c_str());
    }
    platform::diagnose("split %llu frames into record_ch1.pcm .. record_ch4.pcm in %s\n",
                       static_cast<unsigned long long>(split.frames()), elapsedText(settings.clock() - began, 2).c_str());
    return {split.bytesRead(), std::nullopt};
}

}  // namespace quorvane::recording

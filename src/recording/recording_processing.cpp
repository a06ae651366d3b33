#include "recording/recording_processing.h"

#include <algorithm>

#include <optional>

#include "platform/diagnostics.h"
#include "recording/channel_conversion.h"
#include "recording/level_table.h"
#include "recording/record_files.h"
#include "recording/record_picture.h"
#include "recording/recording_check.h"

namespace quorvane::recording {

namespace {

// The picture's columns follow the recording's size; one whose length is
// not known before its end (a pipe, a FIFO, a device) grows them as it goes.
std::optional<std::uint64_t> expectedFrames(const RecordingSource& source) {
    const std::int64_t size = fileSize(source.path);
    if (size < 0) {
        return std::nullopt;
    }
    return wholeFrames(static_cast<std::uint64_t>(size));
}

std::string noAudioReason(const RecordingSource& source, std::uint64_t bytes) {
    if (bytes == 0) {
        return "no audio: " + source.name + " is empty";
    }
    return "no audio: " + source.name + " holds " + platform::byteCount(bytes) + ", less than one 8-byte frame";
}

// Without one whole frame there is no sample of any channel: a run's upload
// of 1 to 7 bytes is no recording, and neither is an empty file given to
// --convert.
RecordingEnding noAudio(const RecordingSource& source, std::uint64_t bytes) {
    const std::string reason = noAudioReason(source, bytes);
    platform::diagnose("error: %s; no channel or WAV files were made\n", reason.c_str());
    return {RunOutcome::Failed, reason};
}

void recordLevels(SharedRecordSummary& summary, const ChannelLevelSet& levels) {
    summary.update([&levels](RecordSummary& facts) {
        for (int channel = 0; channel < kChannelCount; ++channel) {
            facts.channels[channel].levels = levels[channel];
        }
    });
}

void recordWavFiles(SharedRecordSummary& summary, const ChannelConversions& conversions) {
    summary.update([&conversions](RecordSummary& facts) {
        for (int channel = 0; channel < kChannelCount; ++channel) {
            if (conversions.made[channel]) {
                facts.channels[channel].wavFile = channelWavName(channel + 1);
            }
        }
    });
}

// The table and the picture: the user's look at what the device recorded.
void reportRecording(const RecordSummary& facts, const ChannelEnvelopes& envelopes, const RecordingFiles& files) {
    // A terminal gets the table that fits it; a pipe or a file all of it.
    const int columns = platform::diagnosticsOnTerminal() ? platform::diagnosticColumns() : 0;
    platform::showText("%s", formatLevelTable(facts, static_cast<std::size_t>(std::max(columns, 0))).c_str());
    const int error = writeRecordPicture(files.path(kPictureFileName), facts, envelopes);
    if (error != 0) {
        platform::diagnose("warning: cannot write %s: %s\n", kPictureFileName, fileErrorText(error).c_str());
    }
}

RecordingEnding endingOf(const ChannelConversions& conversions) {
    switch (conversions.end) {
        case ConversionEnd::AllMade:
            break;
        case ConversionEnd::Failed:
            return {RunOutcome::Failed, conversions.failure};
        case ConversionEnd::Interrupted:
        case ConversionEnd::Abandoned:
            return {RunOutcome::Interrupted, {}};
    }
    return {RunOutcome::Stored, {}};
}

}  // namespace

RecordingEnding processRecording(const RecordingSource& source, const ProcessingSettings& settings,
                                 SharedRecordSummary& summary) {
    RecordingCheck check(expectedFrames(source));
    const SplitOutcome split = splitRecording(source, settings, check);
    // What follows runs converters, which no interruption stops.
    if (settings.converting) {
        settings.converting();
    }
    if (split.failure) {
        if (split.failure->interrupted) {
            return {RunOutcome::Interrupted, {}};
        }
        return {RunOutcome::Failed, splitFailureText(*split.failure)};
    }
    summary.update([&split](RecordSummary& facts) { facts.bytesReceived = split.bytesRead; });
    if (split.bytesRead < kFrameBytes) {
        return noAudio(source, split.bytesRead);
    }
    const RecordingFindings findings = check.finish();
    recordLevels(summary, findings.levels);
    const ChannelConversions conversions = convertChannels(settings, source, split.bytesRead);
    recordWavFiles(summary, conversions);
    // The run that gave the handling up has said how it ended.
    if (conversions.end != ConversionEnd::Abandoned) {
        reportRecording(summary.snapshot(), findings.envelopes, *settings.files);
    }
    return endingOf(conversions);
}

}  // namespace quorvane::recording

#include "upload/recording_processing.h"

#include "platform/diagnostics.h"
#include "upload/channel_conversion.h"
#include "upload/level_table.h"
#include "upload/record_files.h"
#include "upload/record_picture.h"
#include "upload/recording_check.h"
#include "upload/upload_control.h"

namespace quorvane::upload {

namespace {

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
void reportRecording(const RecordSummary& facts, const ChannelEnvelopes& envelopes) {
    platform::showText("%s", formatLevelTable(facts).c_str());
    const int error = writeRecordPicture(std::string("./") + kPictureFileName, facts, envelopes);
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
            return {RunOutcome::Interrupted, {}};
    }
    return {RunOutcome::Stored, {}};
}

}  // namespace

RecordingEnding processRecording(const RecordingSource& source, const ProcessingSettings& settings,
                                 SharedRecordSummary& summary) {
    const std::int64_t size = fileSize(source.path);
    RecordingCheck check(size > 0 ? wholeFrames(static_cast<std::uint64_t>(size)) : 0);
    const auto failure = splitRecording(source, settings.clock, check);
    // What follows runs converters, which no interruption stops.
    uploadState().enterStage(AudioStage::Converting);
    if (failure) {
        if (failure->interrupted) {
            return {RunOutcome::Interrupted, {}};
        }
        return {RunOutcome::Failed, splitFailureText(*failure)};
    }
    const RecordingFindings findings = check.finish();
    recordLevels(summary, findings.levels);
    const std::uint64_t bytes = summary.snapshot().bytesReceived;
    const ChannelConversions conversions = convertChannels(settings.clock, source, bytes, settings.convertChannel3);
    recordWavFiles(summary, conversions);
    reportRecording(summary.snapshot(), findings.envelopes);
    return endingOf(conversions);
}

}  // namespace quorvane::upload

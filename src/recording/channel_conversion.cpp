#include "recording/channel_conversion.h"

#include <functional>
#include <optional>
#include <string>

#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/shell.h"

namespace quorvane::recording {

namespace {

// Every header a WAV writer may put in front of the samples is at least this
// long (RIFF, fmt and data chunk headers).
constexpr std::int64_t kShortestWavHeader = 44;

bool channelWanted(int channel, bool convertChannel3) {
    return channel != 3 || convertChannel3;
}

std::string converterCommand(int channel, const RecordingFiles& files) {
    return std::string(QUORVANE_CONVERTER_PROGRAM) + " " + files.path(channelPcmName(channel)) + " " +
           files.path(channelWavName(channel)) +
           " 1 16000 16";
}

struct Conversion {
    ConversionEnd end;
    std::string failure;
};

// `failure` goes to the summary; the message adds the command line.
Conversion failedConversion(const std::string& failure, const std::string& commandNote, const std::string& pcm) {
    platform::diagnose("error: %s (%s); %s is kept\n", failure.c_str(), commandNote.c_str(), pcm.c_str());
    return {ConversionEnd::Failed, failure};
}

Conversion convertChannel(int channel, const ProcessingSettings& settings) {
    const std::string pcm = channelPcmName(channel);
    const std::string wav = channelWavName(channel);
    const std::string command = converterCommand(channel, *settings.files);
    const auto began = settings.clock();
    const std::optional<int> ended = platform::runCommandLineUnless(command, settings.abandoned);
    if (!ended) {
        return {ConversionEnd::Abandoned, {}};
    }
    const int result = *ended;
    // A Ctrl-C from the console ends the converter too, and may do so before
    // this program's own handler has marked the run as interrupted.
    if (platform::endedByInterrupt(result)) {
        return {ConversionEnd::Interrupted, {}};
    }
    if (!platform::commandSucceeded(result)) {
        return failedConversion("the converter failed on " + pcm, "\"" + command + "\" reported a failure", pcm);
    }
    if (fileSize(settings.files->path(wav)) < fileSize(settings.files->path(pcm)) + kShortestWavHeader) {
        return failedConversion("the converter made no complete " + wav, "\"" + command + "\"", pcm);
    }
    platform::diagnose("converted %s to %s in %s\n", pcm.c_str(), wav.c_str(),
                       elapsedText(settings.clock() - began, 2).c_str());
    return {ConversionEnd::AllMade, {}};
}

bool asked(const std::function<bool()>& question) {
    return question && question();
}

Conversion nextConversion(int channel, const ProcessingSettings& settings) {
    if (asked(settings.abandoned)) {
        return {ConversionEnd::Abandoned, {}};
    }
    if (asked(settings.interrupted)) {
        return {ConversionEnd::Interrupted, {}};
    }
    return convertChannel(channel, settings);
}

void reportInterruptedConversion(const RecordingSource& source, std::uint64_t recordBytes) {
    platform::diagnose(
        "interrupted: %s keeps all %llu bytes received (%s of audio); the channel files not converted yet are "
        "kept\n",
        source.name.c_str(), static_cast<unsigned long long>(recordBytes), audioDuration(recordBytes).c_str());
}

void deleteConvertedChannelFiles(const ChannelConversions& conversions, const ProcessingSettings& settings) {
    for (int channel = 1; channel <= kChannelCount; ++channel) {
        if (conversions.made[channel - 1] || !channelWanted(channel, settings.convertChannel3)) {
            platform::deleteFile(settings.files->path(channelPcmName(channel)).c_str());
        }
    }
}

}  // namespace

ChannelConversions convertChannels(const ProcessingSettings& settings, const RecordingSource& source,
                                   std::uint64_t recordBytes) {
    const bool convertChannel3 = settings.convertChannel3;
    ChannelConversions conversions;
    for (int channel = 1; channel <= kChannelCount; ++channel) {
        if (!channelWanted(channel, convertChannel3)) {
            continue;
        }
        const Conversion conversion = nextConversion(channel, settings);
        if (conversion.end == ConversionEnd::Abandoned) {
            conversions.end = ConversionEnd::Abandoned;
            return conversions;
        }
        if (conversion.end == ConversionEnd::Interrupted) {
            reportInterruptedConversion(source, recordBytes);
            conversions.end = ConversionEnd::Interrupted;
            return conversions;
        }
        conversions.made[channel - 1] = conversion.end == ConversionEnd::AllMade;
        if (conversion.end == ConversionEnd::Failed && conversions.end == ConversionEnd::AllMade) {
            conversions.end = ConversionEnd::Failed;
            conversions.failure = conversion.failure;
        }
    }
    deleteConvertedChannelFiles(conversions, settings);
    return conversions;
}

}  // namespace quorvane::recording

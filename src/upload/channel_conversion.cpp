#include "upload/channel_conversion.h"

#include <string>

#include "platform/diagnostics.h"
#include "platform/files.h"
#include "platform/shell.h"
#include "upload/record_files.h"
#include "upload/upload_control.h"

namespace upload {

namespace {

// Every header a WAV writer may put in front of the samples is at least this
// long (RIFF, fmt and data chunk headers).
constexpr std::int64_t kShortestWavHeader = 44;

bool channelWanted(int channel, bool convertChannel3) {
    return channel != 3 || convertChannel3;
}

std::string converterCommand(int channel) {
    return std::string(QUORVANE_CONVERTER_PROGRAM) + " " + channelPcmName(channel) + " " + channelWavName(channel) +
           " 1 16000 16";
}

enum class Conversion { Made, Failed, Interrupted };

Conversion convertChannel(int channel, const ProgressClock& clock) {
    const std::string pcm = channelPcmName(channel);
    const std::string wav = channelWavName(channel);
    const std::string command = converterCommand(channel);
    const auto began = clock();
    const int result = platform::runCommandLine(command);
    // A Ctrl-C from the console ends the converter too, and may do so before
    // this program's own handler has marked the run as interrupted.
    if (platform::endedByInterrupt(result)) {
        uploadState().interrupt();
        return Conversion::Interrupted;
    }
    if (!platform::commandSucceeded(result)) {
        platform::diagnose("error: the converter failed on %s (\"%s\" reported a failure); %s is kept\n", pcm.c_str(),
                           command.c_str(), pcm.c_str());
        return Conversion::Failed;
    }
    const std::int64_t wavSize = fileSize(wav);
    if (wavSize < fileSize(pcm) + kShortestWavHeader) {
        platform::diagnose("error: the converter made no complete %s (\"%s\"); %s is kept\n", wav.c_str(),
                           command.c_str(), pcm.c_str());
        return Conversion::Failed;
    }
    platform::diagnose("converted %s to %s in %.2f s\n", pcm.c_str(), wav.c_str(), secondsBetween(began, clock()));
    return Conversion::Made;
}

bool reportInterruptedConversion(std::uint64_t recordBytes) {
    platform::diagnose(
        "interrupted: record.pcm keeps all %llu bytes received (%s of audio); the channel files "
        "not converted yet are kept\n",
        static_cast<unsigned long long>(recordBytes), audioDuration(recordBytes).c_str());
    return false;
}

}  // namespace

bool convertChannels(const ProgressClock& clock, std::uint64_t recordBytes, bool convertChannel3) {
    bool made[kChannelCount] = {};
    bool allMade = true;
    for (int channel = 1; channel <= kChannelCount; ++channel) {
        if (!channelWanted(channel, convertChannel3)) {
            continue;
        }
        const Conversion conversion =
            uploadState().interrupted() ? Conversion::Interrupted : convertChannel(channel, clock);
        if (conversion == Conversion::Interrupted) {
            return reportInterruptedConversion(recordBytes);
        }
        made[channel - 1] = conversion == Conversion::Made;
        allMade = allMade && made[channel - 1];
    }
    for (int channel = 1; channel <= kChannelCount; ++channel) {
        if (made[channel - 1] || !channelWanted(channel, convertChannel3)) {
            platform::deleteFile(channelPcmName(channel).c_str());
        }
    }
    return allMade;
}

}  // namespace upload

// Writes record.json (and record.svg when the recording was measured) for
// one of the run endings that record_report_check.py reads back:
//   stored             2 s of a device whose channels are a tone, silence, a
//                      clipped tone and a copy of channel 1; channel 3 not
//                      converted
//   conversion-failed  the same recording; channel 2's conversion failed
//   interrupted        Ctrl-C during the upload: no split, no files
//   converted          the stored recording again, by --convert of a file
//                      whose name is not all UTF-8 and holds characters
//                      that XML forbids
//   quiet              healthy microphones in a quiet room: tones at -40,
//                      -30 and -35 dBFS beside a silent channel
//   empty              an upload that brought no whole frame
//
// usage: record_report_driver SCENARIO FOLDER
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "recording/record_picture.h"
#include "recording/record_summary.h"
#include "recording/recording_check.h"

namespace {

using namespace quorvane::recording;

constexpr double kPi = 3.14159265358979323846;
constexpr std::uint64_t kFrames = 2 * kFramesPerSecond;
constexpr std::uint64_t kTrailingBytes = 3;

std::int16_t tone(std::uint64_t frame, double amplitude) {
    const double value = amplitude * std::sin(2 * kPi * 440 * static_cast<double>(frame) / kFramesPerSecond);
    return static_cast<std::int16_t>(std::lround(std::fmax(-32768, std::fmin(32767, value))));
}

// -40, -30 and -35 dBFS peaks.
constexpr double kQuietAmplitudes[] = {328, 1036, 583};

std::vector<char> deviceRecording(bool quiet) {
    std::vector<char> bytes;
    for (std::uint64_t frame = 0; frame < kFrames; ++frame) {
        const std::int16_t loud[] = {tone(frame, 8000), 0, tone(frame, 65536), tone(frame, 8000)};
        const std::int16_t soft[] = {tone(frame, kQuietAmplitudes[0]), 0, tone(frame, kQuietAmplitudes[1]),
                                     tone(frame, kQuietAmplitudes[2])};
        const std::int16_t* samples = quiet ? soft : loud;
        for (int channel = 0; channel < kChannelCount; ++channel) {
            const std::int16_t sample = samples[channel];
            bytes.push_back(static_cast<char>(static_cast<std::uint16_t>(sample) & 0xFF));
            bytes.push_back(static_cast<char>(static_cast<std::uint16_t>(sample) >> 8));
        }
    }
    bytes.insert(bytes.end(), kTrailingBytes, '\x7F');
    return bytes;
}

RecordSummary commonFacts() {
    RecordSummary summary;
    summary.toolVersion = "1.0.0";
    // 2024-02-29T23:59:58Z and two seconds later, over midnight of a leap day.
    summary.startedAt = std::chrono::system_clock::time_point(std::chrono::seconds(1709251198));
    summary.endedAt = summary.startedAt + std::chrono::milliseconds(2999);
    summary.port = "/dev/ttyUSB0";
    // Quotes, a backslash, a tab, a line break, an accent, an emoji; then
    // bytes that are no UTF-8: Latin-1, an overlong slash, a surrogate, a code
    // point above U+10FFFF and a sequence cut short.
    summary.networkName =
        "Caf\xC3\xA9 \"Mic\" back\\slash\ttab\nline \xF0\x9F\x8E\xA4 \xE9nd \xC0\xAF \xED\xA0\x80 "
        "\xF4\x90\x80\x80 \xE2\x82";
    summary.hostAddress = "127.0.0.1";
    summary.recordTime = "2";
    return summary;
}

RecordSummary measuredRun(const RecordingFindings& findings, const std::vector<char>& bytes) {
    RecordSummary summary = commonFacts();
    summary.deviceAddress = "127.0.0.5";
    summary.bytesReceived = bytes.size();
    for (int channel = 0; channel < kChannelCount; ++channel) {
        summary.channels[channel].levels = findings.levels[channel];
        if (channel != 2) {
            summary.channels[channel].wavFile = channelWavName(channel + 1);
        }
    }
    summary.outcome = RunOutcome::Stored;
    return summary;
}

bool report(int error, const char* file) {
    if (error != 0) {
        std::fprintf(stderr, "record_report_driver: cannot write %s: %s\n", file, std::strerror(error));
    }
    return error == 0;
}

int writeMeasured(const std::string& scenario, const std::string& folder) {
    const std::vector<char> bytes = deviceRecording(scenario == "quiet");
    RecordingCheck check(kFrames);
    check.add(bytes.data(), kFrames);
    const RecordingFindings findings = check.finish();
    RecordSummary summary = measuredRun(findings, bytes);
    if (scenario == "converted") {
        summary.command = SummaryCommand::Convert;
        // Latin-1, then a C0 control, an escape, DEL, U+FFFE, U+FFFF and a tab.
        summary.recording = "takes/Caf\xC3\xA9 \xE9\x01\x1B\x7F\xEF\xBF\xBE\xEF\xBF\xBF\t.pcm";
        summary.port.clear();
        summary.networkName.clear();
        summary.recordTime.clear();
        summary.deviceAddress.clear();
        summary.hostAddress.clear();
    }
    if (scenario == "quiet") {
        summary.channels[2].wavFile = channelWavName(3);
    }
    if (scenario == "conversion-failed") {
        summary.channels[1].wavFile.reset();
        summary.outcome = RunOutcome::Failed;
        summary.failureReason = "the converter made no record_ch2.wav";
        summary.exitStatus = 1;
    }
    const bool written = report(writeRecordSummary(folder + "/record.json", summary), "record.json") &&
                         report(writeRecordPicture(folder + "/record.svg", summary, findings.envelopes), "record.svg");
    return written ? 0 : 1;
}

int writeEmpty(const std::string& folder) {
    RecordSummary summary = commonFacts();
    summary.bytesReceived = 5;
    summary.failureReason = "no audio: record.pcm holds 5 bytes, less than one 8-byte frame";
    summary.exitStatus = 1;
    const bool written = report(writeRecordSummary(folder + "/record.json", summary), "record.json") &&
                         report(writeRecordPicture(folder + "/record.svg", summary, ChannelEnvelopes{}), "record.svg");
    return written ? 0 : 1;
}

int writeInterrupted(const std::string& folder) {
    RecordSummary summary = commonFacts();
    summary.recordTime = "30";
    summary.bytesReceived = 64000 + 5;
    summary.outcome = RunOutcome::Interrupted;
    summary.failureReason = "not written: only a failure has a reason";
    summary.exitStatus = 130;
    return report(writeRecordSummary(folder + "/record.json", summary), "record.json") ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: record_report_driver stored|conversion-failed|interrupted|converted FOLDER\n");
        return 2;
    }
    const std::string scenario = argv[1];
    if (scenario == "stored" || scenario == "conversion-failed" || scenario == "converted" || scenario == "quiet") {
        return writeMeasured(scenario, argv[2]);
    }
    if (scenario == "empty") {
        return writeEmpty(argv[2]);
    }
    if (scenario == "interrupted") {
        return writeInterrupted(argv[2]);
    }
    std::fprintf(stderr, "record_report_driver: unknown scenario %s\n", argv[1]);
    return 2;
}

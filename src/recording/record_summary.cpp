#include "recording/record_summary.h"

#include <cjson/cJSON.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>

#include "recording/record_time.h"
#include "recording/text_file.h"

namespace quorvane::recording {

namespace {

constexpr const char* kReplacementCharacter = "\xEF\xBF\xBD";

using Json = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

// How many bytes at text[at] follow the Unicode table of well-formed UTF-8
// sequences, and whether they make a whole sequence. The second byte's range
// excludes overlong forms, surrogates and code points above U+10FFFF.
struct Utf8Prefix {
    std::size_t length;
    bool whole;
};

Utf8Prefix utf8Prefix(const std::string& text, std::size_t at) {
    const auto byte = [&text](std::size_t index) {
        return index < text.size() ? static_cast<unsigned char>(text[index]) : 0u;
    };
    const unsigned lead = byte(at);
    if (lead < 0x80) {
        return {1, true};
    }
    const std::size_t needed = lead >= 0xC2 && lead <= 0xDF   ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    const unsigned low = lead == 0xE0 ? 0xA0 : lead == 0xF0 ? 0x90 : 0x80;
    const unsigned high = lead == 0xED ? 0x9F : lead == 0xF4 ? 0x8F : 0xBF;
    std::size_t length = needed != 0 ? 1 : 0;
    while (length != 0 && length < needed) {
        const unsigned next = byte(at + length);
        if (length == 1 ? next < low || next > high : next < 0x80 || next > 0xBF) {
            break;
        }
        ++length;
    }
    return {std::max<std::size_t>(length, 1), needed != 0 && length == needed};
}

void addText(cJSON* object, const char* name, const std::string& text) {
    cJSON_AddStringToObject(object, name, validUtf8(text).c_str());
}

void addKnownText(cJSON* object, const char* name, const std::string& text) {
    if (text.empty()) {
        cJSON_AddNullToObject(object, name);
    } else {
        addText(object, name, text);
    }
}

// JSON has no infinity: a level of -infinity (no sample above zero) is null.
void addRounded(cJSON* object, const char* name, double value, double step) {
    if (std::isfinite(value)) {
        // Adding zero turns a rounded -0 into 0, which record.json writes as 0.
        cJSON_AddNumberToObject(object, name, std::round(value / step) * step + 0.0);
    } else {
        cJSON_AddNullToObject(object, name);
    }
}

void addCount(cJSON* object, const char* name, std::uint64_t count) {
    cJSON_AddNumberToObject(object, name, static_cast<double>(count));
}

cJSON* levelsJson(const ChannelLevels& levels) {
    cJSON* object = cJSON_CreateObject();
    cJSON_AddNumberToObject(object, "duration_seconds", levels.seconds);
    addRounded(object, "peak_dbfs", levels.peakDbfs, 0.01);
    addRounded(object, "rms_dbfs", levels.rmsDbfs, 0.01);
    addRounded(object, "dc_offset_percent", levels.dcOffsetPercent, 0.001);
    addCount(object, "clipped_samples", levels.clippedSamples);
    return object;
}

void addVerdict(cJSON* object, const std::optional<ChannelLevels>& levels) {
    const bool sameAs = levels && levels->verdict == Verdict::SameAsChannel;
    const bool spread = levels && (levels->verdict == Verdict::Weak || levels->verdict == Verdict::Loud);
    if (levels) {
        cJSON_AddStringToObject(object, "verdict", verdictName(levels->verdict));
    } else {
        cJSON_AddNullToObject(object, "verdict");
    }
    if (sameAs) {
        cJSON_AddNumberToObject(object, "same_as_channel", levels->sameAsChannel);
    } else {
        cJSON_AddNullToObject(object, "same_as_channel");
    }
    addRounded(object, "db_from_median", spread ? levels->dbFromMedian : NAN, 0.01);
}

cJSON* channelJson(int number, const ChannelSummary& channel) {
    cJSON* object = cJSON_CreateObject();
    cJSON_AddNumberToObject(object, "channel", number);
    addKnownText(object, "file", channel.wavFile.value_or(""));
    addVerdict(object, channel.levels);
    if (channel.levels) {
        cJSON_AddItemToObject(object, "levels", levelsJson(*channel.levels));
    } else {
        cJSON_AddNullToObject(object, "levels");
    }
    return object;
}

const char* outcomeName(RunOutcome outcome) {
    switch (outcome) {
        case RunOutcome::Stored:
            return "stored";
        case RunOutcome::Failed:
            return "failed";
        case RunOutcome::Interrupted:
            return "interrupted";
    }
    return "failed";
}

// A --convert knows none of the run's facts; a run knows its port, network
// and record time even when their text is empty.
// A run writes what it was given; a conversion only what it kept from the
// run's record.json, null otherwise.
void addRunText(cJSON* object, const char* name, const RecordSummary& summary, const std::string& text) {
    if (summary.command == SummaryCommand::Run) {
        addText(object, name, text);
    } else {
        addKnownText(object, name, text);
    }
}

double recordSecondsOrNan(const std::string& recordTime) {
    const auto seconds = recordSeconds(recordTime);
    return seconds ? static_cast<double>(seconds->count()) : NAN;
}

void addRunFacts(cJSON* object, const RecordSummary& summary) {
    addText(object, "tool_version", summary.toolVersion);
    cJSON_AddStringToObject(object, "command", summary.command == SummaryCommand::Run ? "run" : "convert");
    addText(object, "started_at", utcTimestamp(summary.startedAt));
    addText(object, "ended_at", utcTimestamp(summary.endedAt));
    addRunText(object, "port", summary, summary.port);
    addRunText(object, "network_name", summary, summary.networkName);
    addKnownText(object, "device_address", summary.deviceAddress);
    addKnownText(object, "host_address", summary.hostAddress);
    addRunText(object, "record_time", summary, summary.recordTime);
    addRounded(object, "record_seconds", recordSecondsOrNan(summary.recordTime), 0.001);
}

void addUploadFacts(cJSON* object, const RecordSummary& summary) {
    addText(object, "recording", summary.recording);
    addCount(object, "bytes_received", summary.bytesReceived);
    addCount(object, "frames", wholeFrames(summary.bytesReceived));
    addCount(object, "trailing_bytes", summary.bytesReceived % kFrameBytes);
    cJSON_AddNumberToObject(object, "audio_seconds", audioSeconds(summary.bytesReceived));
    cJSON* channels = cJSON_AddArrayToObject(object, "channels");
    for (int channel = 0; channel < kChannelCount; ++channel) {
        cJSON_AddItemToArray(channels, channelJson(channel + 1, summary.channels[channel]));
    }
}

void addEnding(cJSON* object, const RecordSummary& summary) {
    cJSON_AddStringToObject(object, "outcome", outcomeName(summary.outcome));
    addKnownText(object, "failure_reason", summary.outcome == RunOutcome::Failed ? summary.failureReason : "");
    cJSON_AddNumberToObject(object, "exit_status", summary.exitStatus);
}

// A record.json is a few kilobytes; a file far larger is none.
constexpr std::size_t kLongestSummary = 1 << 20;

std::string stringField(const cJSON* object, const char* name) {
    const cJSON* field = cJSON_GetObjectItemCaseSensitive(object, name);
    return cJSON_IsString(field) ? std::string(field->valuestring) : std::string();
}

// Days since 1970-01-01 to the proleptic Gregorian date (H. Hinnant's
// civil_from_days), so no time zone or C library time call is involved.
void civilDate(std::int64_t days, std::int64_t& year, unsigned& month, unsigned& day) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto dayOfEra = static_cast<unsigned>(days - era * 146097);
    const unsigned yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const unsigned dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const unsigned shiftedMonth = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * shiftedMonth + 2) / 5 + 1;
    month = shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9;
    year = static_cast<std::int64_t>(yearOfEra) + era * 400 + (month <= 2 ? 1 : 0);
}

}  // namespace

// Each ill-formed part (the longest start of a sequence that goes wrong, or
// one stray byte) becomes one U+FFFD, as Unicode recommends.
std::string validUtf8(const std::string& text) {
    std::string valid;
    for (std::size_t at = 0; at < text.size();) {
        const Utf8Prefix prefix = utf8Prefix(text, at);
        valid += prefix.whole ? text.substr(at, prefix.length) : kReplacementCharacter;
        at += prefix.length;
    }
    return valid;
}

std::uint64_t wholeFrames(std::uint64_t bytes) {
    return bytes / kFrameBytes;
}

double audioSeconds(std::uint64_t bytes) {
    return static_cast<double>(wholeFrames(bytes)) / kFramesPerSecond;
}

std::string utcTimestamp(std::chrono::system_clock::time_point time) {
    const std::int64_t seconds = std::chrono::floor<std::chrono::seconds>(time.time_since_epoch()).count();
    const std::int64_t secondOfDay = ((seconds % 86400) + 86400) % 86400;
    std::int64_t year = 0;
    unsigned month = 0;
    unsigned day = 0;
    civilDate((seconds - secondOfDay) / 86400, year, month, day);
    char text[40];
    std::snprintf(text, sizeof text, "%04lld-%02u-%02uT%02d:%02d:%02dZ", static_cast<long long>(year), month, day,
                  static_cast<int>(secondOfDay / 3600), static_cast<int>(secondOfDay / 60 % 60),
                  static_cast<int>(secondOfDay % 60));
    return text;
}

std::string recordSummaryJson(const RecordSummary& summary) {
    const Json document(cJSON_CreateObject(), cJSON_Delete);
    addRunFacts(document.get(), summary);
    addUploadFacts(document.get(), summary);
    addEnding(document.get(), summary);
    const std::unique_ptr<char, decltype(&cJSON_free)> text(cJSON_Print(document.get()), cJSON_free);
    return std::string(text ? text.get() : "{}") + "\n";
}

int writeRecordSummary(const std::string& path, const RecordSummary& summary) {
    return writeTextFile(path, recordSummaryJson(summary));
}

std::optional<RunFacts> readRunFacts(const std::string& path) {
    std::ifstream file(std::filesystem::u8path(path), std::ios::binary);
    std::string text(kLongestSummary + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(file.gcount()));
    if (text.empty() || text.size() > kLongestSummary) {
        return std::nullopt;
    }
    const Json document(cJSON_ParseWithLength(text.data(), text.size()), cJSON_Delete);
    if (!document || stringField(document.get(), "command") != "run") {
        return std::nullopt;
    }
    return RunFacts{stringField(document.get(), "recording"),    stringField(document.get(), "port"),
                    stringField(document.get(), "network_name"), stringField(document.get(), "device_address"),
                    stringField(document.get(), "host_address"), stringField(document.get(), "record_time")};
}

}  // namespace quorvane::recording

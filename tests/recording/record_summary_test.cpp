#include <cjson/cJSON.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>

#include "recording/record_picture.h"
#include "recording/record_summary.h"
#include "recording/xml_text.h"

namespace quorvane::recording {
namespace {

std::chrono::system_clock::time_point at(std::int64_t seconds) {
    return std::chrono::system_clock::time_point(std::chrono::seconds(seconds));
}

TEST(RecordSummary, TimesAreUtcInIso8601) {
    struct Case {
        std::int64_t seconds;
        const char* text;
    };
    const Case cases[] = {
        {0, "1970-01-01T00:00:00Z"},
        {951782400, "2000-02-29T00:00:00Z"},  // a leap day of a year divisible by 400
        {951868799, "2000-02-29T23:59:59Z"},
        {1709251199, "2024-02-29T23:59:59Z"},
        {1735689599, "2024-12-31T23:59:59Z"},  // the 366th day
        {2147483648, "2038-01-19T03:14:08Z"},  // past 32-bit seconds
        {4107542400, "2100-03-01T00:00:00Z"},  // 2100 is no leap year
        {-1, "1969-12-31T23:59:59Z"},
    };
    for (const Case& test : cases) {
        EXPECT_EQ(utcTimestamp(at(test.seconds)), test.text) << test.seconds;
    }
    EXPECT_EQ(utcTimestamp(at(10) + std::chrono::milliseconds(999)), "1970-01-01T00:00:10Z");
    EXPECT_EQ(utcTimestamp(at(0) - std::chrono::milliseconds(1)), "1969-12-31T23:59:59Z");
}

TEST(RecordSummary, FramesAndSecondsCountWholeFramesOnly) {
    EXPECT_EQ(wholeFrames(8 * 16000 + 7), 16000u);
    EXPECT_DOUBLE_EQ(audioSeconds(8 * 16000 + 7), 1.0);
    EXPECT_DOUBLE_EQ(audioSeconds(8 * 8), 8 / 16000.0);
    EXPECT_EQ(audioSeconds(7), 0.0);
}

using Json = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

// A field of a channel object as the reader of record.json sees it: its text,
// its number to 15 significant digits (so an unrounded figure shows), or
// "null".
std::string fieldText(const cJSON* channel, const char* name) {
    const cJSON* field = cJSON_GetObjectItemCaseSensitive(channel, name);
    if (cJSON_IsString(field)) {
        return field->valuestring;
    }
    if (cJSON_IsNumber(field)) {
        char number[32];
        std::snprintf(number, sizeof number, "%.15g", field->valuedouble);
        return number;
    }
    return cJSON_IsNull(field) ? "null" : "missing";
}

TEST(RecordSummary, ChannelVerdictsAndTheirFigures) {
    struct Case {
        const char* name;
        std::optional<ChannelLevels> levels;
        const char* verdict;
        const char* sameAsChannel;
        const char* dbFromMedian;
    };
    const auto judged = [](Verdict verdict, int sameAs, double dbFromMedian) {
        ChannelLevels levels;
        levels.verdict = verdict;
        levels.sameAsChannel = sameAs;
        levels.dbFromMedian = dbFromMedian;
        return std::optional<ChannelLevels>(levels);
    };
    const Case cases[] = {
        {"ok", judged(Verdict::Ok, 0, 0), "ok", "null", "null"},
        {"same as", judged(Verdict::SameAsChannel, 2, 0), "same_as_channel", "2", "null"},
        {"weak", judged(Verdict::Weak, 0, -9.126), "weak", "null", "-9.13"},
        {"loud", judged(Verdict::Loud, 0, 7.046), "loud", "null", "7.05"},
        {"rounds to zero without a minus sign", judged(Verdict::Loud, 0, -0.001), "loud", "null", "0"},
        {"DC offset keeps no distance", judged(Verdict::DcOffset, 0, 12.5), "dc_offset", "null", "null"},
        {"not measured", std::nullopt, "null", "null", "null"},
    };
    for (const Case& test : cases) {
        SCOPED_TRACE(test.name);
        RecordSummary summary;
        summary.channels[1].levels = test.levels;
        const Json document(cJSON_Parse(recordSummaryJson(summary).c_str()), cJSON_Delete);
        ASSERT_NE(document, nullptr);
        const cJSON* channel = cJSON_GetArrayItem(cJSON_GetObjectItemCaseSensitive(document.get(), "channels"), 1);
        EXPECT_EQ(fieldText(channel, "channel"), "2");
        EXPECT_EQ(fieldText(channel, "verdict"), test.verdict);
        EXPECT_EQ(fieldText(channel, "same_as_channel"), test.sameAsChannel);
        EXPECT_EQ(fieldText(channel, "db_from_median"), test.dbFromMedian);
    }
}

std::string contentOf(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

TEST(RecordSummary, FilesAreWrittenWholeOrTheErrorIsReturned) {
    RecordSummary summary;
    summary.networkName = "lab";
    const std::string folder = testing::TempDir();
    ASSERT_EQ(writeRecordSummary(folder + kSummaryFileName, summary), 0);
    EXPECT_EQ(contentOf(folder + kSummaryFileName), recordSummaryJson(summary));
    const ChannelEnvelopes envelopes;
    ASSERT_EQ(writeRecordPicture(folder + kPictureFileName, summary, envelopes), 0);
    EXPECT_EQ(contentOf(folder + kPictureFileName), recordPictureSvg(summary, envelopes));
    std::remove((folder + kSummaryFileName).c_str());
    std::remove((folder + kPictureFileName).c_str());

    EXPECT_EQ(writeRecordSummary(folder + "no-such-folder/" + kSummaryFileName, summary), ENOENT);
    EXPECT_EQ(writeRecordPicture(folder + "no-such-folder/" + kPictureFileName, summary, envelopes), ENOENT);
}

TEST(XmlText, TextOfAnyKindIsFitForXml) {
    struct Case {
        const char* name;
        std::string text;
        std::string characterData;
        std::string attributeValue;
    };
    const Case cases[] = {
        {"plain", "COM3", "COM3", "COM3"},
        {"markup", "<a href=\"x\">'&'</a>", "&lt;a href=&quot;x&quot;&gt;&apos;&amp;&apos;&lt;/a&gt;",
         "&lt;a href=&quot;x&quot;&gt;&apos;&amp;&apos;&lt;/a&gt;"},
        {"white space", "a\tb\nc\rd", "a\tb\nc&#13;d", "a&#9;b&#10;c&#13;d"},
        {"controls", std::string("a\x01\x1F\x7F", 4) + std::string(1, '\0') + "b",
         "a\xEF\xBF\xBD\xEF\xBF\xBD\x7F\xEF\xBF\xBD"
         "b",
         "a\xEF\xBF\xBD\xEF\xBF\xBD\x7F\xEF\xBF\xBD"
         "b"},
        {"not UTF-8", "\xE9t\xC0\xAF", "\xEF\xBF\xBDt\xEF\xBF\xBD\xEF\xBF\xBD",
         "\xEF\xBF\xBDt\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"non-characters", "\xEF\xBF\xBE\xEF\xBF\xBF\xEF\xBF\xBD", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD",
         "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
        {"other scripts", "Caf\xC3\xA9 \xE5\xAE\xB6 \xF0\x9F\x8E\xA4", "Caf\xC3\xA9 \xE5\xAE\xB6 \xF0\x9F\x8E\xA4",
         "Caf\xC3\xA9 \xE5\xAE\xB6 \xF0\x9F\x8E\xA4"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(xmlText(c.text), c.characterData);
        EXPECT_EQ(xmlAttribute(c.text), c.attributeValue);
    }
}

}  // namespace
}  // namespace quorvane::recording

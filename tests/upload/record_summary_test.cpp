#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "upload/record_picture.h"
#include "upload/record_summary.h"

namespace quorvane::upload {
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

}  // namespace
}  // namespace quorvane::upload

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "loopback_client.h"
#include "pcm2wav.h"
#include "platform/shell.h"
#include "upload_fixture.h"

namespace fs = std::filesystem;

namespace {

pcm2wav::WavFormat format(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits) {
    pcm2wav::WavFormat made;
    made.channels = channels;
    made.sampleRate = rate;
    made.bitsPerSample = bits;
    return made;
}

std::string header(const pcm2wav::WavFormat& of, std::uint32_t dataBytes) {
    const auto bytes = pcm2wav::wavHeader(of, dataBytes);
    return std::string(bytes.begin(), bytes.end());
}

TEST(Pcm2WavFormat, OnlyNumbersThatMakeAPcmWavFileAreAccepted) {
    pcm2wav::WavFormat read;
    std::string problem;
    ASSERT_TRUE(pcm2wav::parseFormat("1", "16000", "16", read, problem)) << problem;
    EXPECT_EQ(header(read, 0), header(format(1, 16000, 16), 0));
    const char* const refused[][3] = {
        {"0", "16000", "16"}, {"1", "0", "16"},        {"1", "16000", "12"},      {"1", "16000", "40"},
        {"x", "16000", "16"}, {"1", "-5", "16"},       {"1", "16000", ""},        {"65536", "16000", "16"},
        {"1", "16k", "16"},   {"65535", "8000", "32"}, {"2", "4294967295", "16"},
    };
    for (const auto& arguments : refused) {
        problem.clear();
        EXPECT_FALSE(pcm2wav::parseFormat(arguments[0], arguments[1], arguments[2], read, problem))
            << arguments[0] << " " << arguments[1] << " " << arguments[2];
        EXPECT_FALSE(problem.empty());
    }
}

TEST(Pcm2WavHeader, IsTheCanonical44BytePcmHeaderWithRiffPadding) {
    EXPECT_EQ(header(format(1, 16000, 16), 200), std::string("RIFF\xEC\x00\x00\x00WAVEfmt \x10\x00\x00\x00"
                                                             "\x01\x00\x01\x00\x80\x3E\x00\x00\x00\x7D\x00\x00"
                                                             "\x02\x00\x10\x00"
                                                             "data\xC8\x00\x00\x00",
                                                             44));
    const std::string odd = header(format(1, 8000, 8), 3);
    EXPECT_EQ(odd.substr(4, 4), std::string("\x28\x00\x00\x00", 4));
    EXPECT_EQ(odd.substr(40, 4), std::string("\x03\x00\x00\x00", 4));
}

using Pcm2Wav = UploadTest;

TEST_F(Pcm2Wav, SamplesFollowTheHeaderUnchangedAndAPartialFrameIsDropped) {
    const struct {
        pcm2wav::WavFormat of;
        std::size_t size;
        std::size_t kept;
    } cases[] = {
        {format(1, 16000, 16), 201, 200}, {format(2, 16000, 16), 7, 4}, {format(1, 16000, 16), 1000000, 1000000}};
    for (const auto& shape : cases) {
        const std::string samples = uploadBytes(shape.size);
        writeFile("in.pcm", samples);
        std::string problem;
        ASSERT_EQ(pcm2wav::convert("in.pcm", "out.wav", shape.of, problem), pcm2wav::kConverted) << problem;
        EXPECT_EQ(readFile("out.wav"),
                  header(shape.of, static_cast<std::uint32_t>(shape.kept)) + samples.substr(0, shape.kept));
    }
}

TEST_F(Pcm2Wav, WhatCannotBeConvertedFailsWithAReasonAndLeavesNoOutput) {
    writeFile("in.pcm", "abcd");
    writeFile("huge.pcm", "");
    fs::resize_file("huge.pcm", pcm2wav::largestData() + 2);
    fs::create_directory("folder.wav");
    const struct {
        const char* input;
        const char* output;
        const char* reason;
    } failures[] = {
        {"absent.pcm", "out.wav", "cannot read absent.pcm: "},
        {"in.pcm", "folder.wav", "cannot write folder.wav: "},
        {"in.pcm", "./in.pcm", "the output would overwrite the input in.pcm"},
        {"huge.pcm", "out.wav", "huge.pcm holds 4294967260 bytes of samples; a WAV file holds at most 4294967258"},
    };
    for (const auto& failure : failures) {
        std::string problem;
        EXPECT_EQ(pcm2wav::convert(failure.input, failure.output, format(1, 16000, 16), problem), pcm2wav::kFailed);
        EXPECT_EQ(problem.find(failure.reason), 0u) << problem;
    }
    EXPECT_FALSE(fs::exists("out.wav"));
    EXPECT_EQ(readFile("in.pcm"), "abcd");
    fs::remove("huge.pcm");
}

TEST_F(Pcm2Wav, TheProgramReportsFailuresByStatusAndOnStandardError) {
    const std::string program = QUORVANE_CONVERTER_PROGRAM;
    const struct {
        std::string arguments;
        std::string reason;
    } failures[] = {
        {"a.pcm a.wav 1 16000", "usage: Pcm2Wav INPUT OUTPUT CHANNELS RATE BITS"},
        {"a.pcm a.wav 1 16000 12", "Pcm2Wav: bits must be 8, 16, 24 or 32, not \"12\""},
        {"absent.pcm a.wav 1 16000 16", "Pcm2Wav: cannot read absent.pcm: "},
    };
    for (const auto& failure : failures) {
        EXPECT_FALSE(quorvane::platform::commandSucceeded(
            quorvane::platform::runCommandLine(program + " " + failure.arguments + " 2> reason.txt")));
        EXPECT_EQ(readFile("reason.txt").find(failure.reason), 0u) << readFile("reason.txt");
    }
}

}  // namespace

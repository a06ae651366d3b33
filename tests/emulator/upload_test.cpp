#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "device_emulator/loopback.h"
#include "device_emulator/station.h"
#include "device_emulator/upload_content.h"
#include "device_emulator/uploader.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using quorvane::emulator::Milliseconds;

constexpr double kPi = 3.14159265358979323846;

std::vector<char> readSignal(quorvane::emulator::SampleFunction sample, const std::vector<std::size_t>& pieceSizes) {
    quorvane::emulator::SignalSource source(sample);
    std::vector<char> bytes;
    for (std::size_t size : pieceSizes) {
        std::vector<char> piece(size);
        source.read(piece.data(), size);
        bytes.insert(bytes.end(), piece.begin(), piece.end());
    }
    return bytes;
}

std::vector<char> readTones(const std::vector<std::size_t>& pieceSizes) {
    return readSignal(quorvane::emulator::toneSample, pieceSizes);
}

int sampleAt(const std::vector<char>& bytes, std::size_t frame, int channel) {
    const std::size_t offset = frame * quorvane::emulator::kFrameBytes + 2 * channel;
    const auto low = static_cast<unsigned char>(bytes[offset]);
    const auto high = static_cast<unsigned char>(bytes[offset + 1]);
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(low | (high << 8)));
}

int signChangesInOneSecond(const std::vector<char>& bytes, int channel) {
    int changes = 0;
    for (std::size_t frame = 1; frame < quorvane::emulator::kSampleRate; ++frame) {
        changes += (sampleAt(bytes, frame - 1, channel) < 0) != (sampleAt(bytes, frame, channel) < 0);
    }
    return changes;
}

TEST(EmulatorUpload, EachChannelCarriesItsOwnTone) {
    const std::vector<char> second = readTones({quorvane::emulator::kSampleRate * quorvane::emulator::kFrameBytes});
    for (int channel = 0; channel < quorvane::emulator::kChannels; ++channel) {
        const int expected = 2 * quorvane::emulator::kToneHz[channel];
        EXPECT_NEAR(signChangesInOneSecond(second, channel), expected, 2) << "channel " << channel + 1;
    }
}

TEST(EmulatorUpload, SamplesAreLittleEndianSines) {
    const std::vector<char> bytes = readTones({8 * 100});
    for (std::size_t frame : {0u, 1u, 37u, 99u}) {
        for (int channel = 0; channel < quorvane::emulator::kChannels; ++channel) {
            const double phase =
                2 * kPi * quorvane::emulator::kToneHz[channel] * frame / quorvane::emulator::kSampleRate;
            EXPECT_NEAR(sampleAt(bytes, frame, channel), quorvane::emulator::kToneAmplitude * std::sin(phase), 1.0);
        }
    }
}

TEST(EmulatorUpload, PiecesThatCutFramesAndSamplesGiveTheSameStream) {
    const std::vector<char> whole = readTones({4099});
    EXPECT_EQ(readTones({1, 2, 3, 4093}), whole);
    EXPECT_EQ(readTones({8, 4091}), whole);
    EXPECT_EQ(readTones({4096, 3}), whole);
}

TEST(EmulatorUpload, TestSignalHasAToneSilenceAClippedToneAndACopy) {
    const std::vector<char> second =
        readSignal(quorvane::emulator::testSignalSample, {quorvane::emulator::kSampleRate * 8});
    int clipped = 0;
    int peak = 0;
    for (std::size_t frame = 0; frame < quorvane::emulator::kSampleRate; ++frame) {
        SCOPED_TRACE(frame);
        ASSERT_EQ(sampleAt(second, frame, 1), 0);
        ASSERT_EQ(sampleAt(second, frame, 3), sampleAt(second, frame, 0));
        const int overdriven = sampleAt(second, frame, 2);
        clipped += overdriven == 32767 || overdriven == -32768;
        peak = std::max(peak, std::abs(sampleAt(second, frame, 0)));
    }
    EXPECT_NEAR(signChangesInOneSecond(second, 0), 2 * 440, 2);
    EXPECT_EQ(peak, quorvane::emulator::kToneAmplitude);
    EXPECT_NEAR(signChangesInOneSecond(second, 2), 2 * 660, 2);
    // Twice full scale clips where |sin| > 1/2: a third of the samples.
    EXPECT_NEAR(clipped, quorvane::emulator::kSampleRate * 2 / 3, quorvane::emulator::kSampleRate / 100);
}

TEST(EmulatorUpload, SignalIsChosenUnlessASourceFileIsGiven) {
    std::string bytes(8, '\0');
    quorvane::emulator::openContentSource("", quorvane::emulator::UploadSignal::Test)->read(&bytes[0], 8);
    EXPECT_EQ(bytes, std::string(readSignal(quorvane::emulator::testSignalSample, {8}).data(), 8));
    quorvane::emulator::openContentSource("")->read(&bytes[0], 8);
    EXPECT_EQ(bytes, std::string(readTones({8}).data(), 8));
}

TEST(EmulatorUpload, TonesStayExactFarIntoALongRecording) {
    const std::uint64_t afterAnHour = 3600ull * quorvane::emulator::kSampleRate;
    for (int channel = 0; channel < quorvane::emulator::kChannels; ++channel) {
        EXPECT_EQ(quorvane::emulator::toneSample(channel, afterAnHour + 5), quorvane::emulator::toneSample(channel, 5));
    }
}

std::string deviceSignal(quorvane::emulator::UploadSignal signal, unsigned device, std::size_t size) {
    std::string bytes(size, '\0');
    quorvane::emulator::openContentSource("", signal, device)->read(&bytes[0], size);
    return bytes;
}

TEST(EmulatorUpload, EachOfSeveralDevicesSendsItsOwnSignalAndTheFirstALoneDevicesOne) {
    const std::size_t second = quorvane::emulator::kSampleRate * quorvane::emulator::kFrameBytes;
    for (const auto signal : {quorvane::emulator::UploadSignal::Tones, quorvane::emulator::UploadSignal::Test}) {
        const std::vector<char> alone =
            readSignal(signal == quorvane::emulator::UploadSignal::Test ? quorvane::emulator::testSignalSample
                                                                        : quorvane::emulator::toneSample,
                       {second});
        std::vector<std::string> seen{std::string(alone.begin(), alone.end())};
        for (unsigned device = 1; device <= quorvane::emulator::kMaxDevices; ++device) {
            SCOPED_TRACE("device " + std::to_string(device));
            const std::string bytes = deviceSignal(signal, device, second);
            EXPECT_EQ(std::count(seen.begin() + 1, seen.end(), bytes), 0);
            EXPECT_EQ(bytes == seen.front(), device == 1);
            seen.push_back(bytes);
            EXPECT_NEAR(signChangesInOneSecond({bytes.begin(), bytes.end()}, 0), 2 * (440 + 20 * (device - 1.0)), 2);
        }
    }
}

class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& content) : path_(testing::TempDir() + "emulator_source.raw") {
        std::ofstream(path_, std::ios::binary) << content;
    }
    ~TemporaryFile() { std::remove(path_.c_str()); }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

TEST(EmulatorUpload, FileSourceRepeatsTheFileWhenAskedForMore) {
    const TemporaryFile file("0123456789");
    auto source = quorvane::emulator::openContentSource(file.path());
    std::string bytes(25, '\0');
    source->read(&bytes[0], 7);
    source->read(&bytes[7], 18);
    EXPECT_EQ(bytes, "0123456789012345678901234");
}

TEST(EmulatorUpload, EmptyOrMissingSourceIsRefused) {
    const TemporaryFile empty("");
    EXPECT_THROW(quorvane::emulator::openContentSource(empty.path()), std::runtime_error);
    EXPECT_THROW(quorvane::emulator::openContentSource(empty.path() + ".missing"), std::runtime_error);
}

TEST(EmulatorUpload, PlanTakesTheRecordTimeForTheWaitAndTheLength) {
    const quorvane::emulator::UploadPlan plan = quorvane::emulator::planUpload({}, "127.0.0.1", "2.5");
    EXPECT_EQ(plan.address, "127.0.0.1");
    EXPECT_FALSE(plan.addressReplaced);
    EXPECT_EQ(plan.wait, Milliseconds(2500));
    EXPECT_EQ(plan.bytes, 320000u);
}

TEST(EmulatorUpload, PlanOptionsOverrideWaitAndLength) {
    quorvane::emulator::UploadOptions options;
    options.wait = Milliseconds(0);
    options.bytes = 8 * 1000 + 3;
    const quorvane::emulator::UploadPlan plan = quorvane::emulator::planUpload(options, "127.0.0.1", "30");
    EXPECT_EQ(plan.wait, Milliseconds(0));
    EXPECT_EQ(plan.bytes, 8003u);
}

TEST(EmulatorUpload, PlanTakesTheSourceFileSizeByDefault) {
    const TemporaryFile file(std::string(24, 'a'));
    quorvane::emulator::UploadOptions options;
    options.sourcePath = file.path();
    EXPECT_EQ(quorvane::emulator::planUpload(options, "127.0.0.1", "30").bytes, 24u);
}

TEST(EmulatorUpload, PlanNeverLeavesLoopback) {
    for (const char* address : {"192.168.1.7", "10.0.0.5", "", "127.0.0", "localhost", "8.8.8.8"}) {
        const quorvane::emulator::UploadPlan plan = quorvane::emulator::planUpload({}, address, "1");
        EXPECT_EQ(plan.address, "127.0.0.1") << address;
        EXPECT_TRUE(plan.addressReplaced) << address;
    }
    EXPECT_EQ(quorvane::emulator::planUpload({}, "127.0.0.2", "1").address, "127.0.0.2");
    EXPECT_EQ(quorvane::emulator::planUpload({}, "127.255.255.254", "1").address, "127.255.255.254");
}

TEST(EmulatorUpload, PlanTakesZeroForARecordTimeThatIsNotANumber) {
    for (const char* text : {"", "abc", "-5", "1e3", "3s", "1.2.3"}) {
        const quorvane::emulator::UploadPlan plan = quorvane::emulator::planUpload({}, "127.0.0.1", text);
        EXPECT_FALSE(plan.recordTimeUnderstood) << text;
        EXPECT_EQ(plan.wait, Milliseconds(0)) << text;
        EXPECT_EQ(plan.bytes, 0u) << text;
    }
}

// The host's side: a serial line to each device, an upload listener on a
// loopback port of the test's choosing. Waits are a safety net only.
bool readable(int fd) {
    pollfd entry{fd, POLLIN, 0};
    return poll(&entry, 1, 20000) == 1;
}

std::string ask(int line, const std::string& request) {
    EXPECT_EQ(write(line, request.data(), request.size()), static_cast<ssize_t>(request.size()));
    std::string frame;
    char byte = 0;
    while (frame.find("_END>\r\n") == std::string::npos && readable(line) && read(line, &byte, 1) == 1) {
        frame += byte;
    }
    return frame;
}

std::pair<std::string, std::string> acceptUpload(int listener) {
    sockaddr_in peer{};
    socklen_t length = sizeof peer;
    const int connection = readable(listener) ? accept(listener, reinterpret_cast<sockaddr*>(&peer), &length) : -1;
    char address[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &peer.sin_addr, address, sizeof address);
    std::string bytes;
    char buffer[4096];
    for (ssize_t count = 0; readable(connection) && (count = recv(connection, buffer, sizeof buffer, 0)) > 0;) {
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
    close(connection);
    return {address, bytes};
}

TEST(EmulatorUpload, SeveralDevicesEachJoinAndUploadAsThemselves) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    listen(listener, 8);
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string copy = testing::TempDir() + "station.pcm";
    const quorvane::emulator::ParsedCommandLine parsed = quorvane::emulator::parseCommandLine(
        {"--devices", "3", "--upload-port", std::to_string(ntohs(address.sin_port)), "--upload-wait", "0",
         "--upload-bytes", "8000", "--upload-copy", copy, "--device-option", "2:wifi-fail", "--time-limit", "60"});
    ASSERT_EQ(parsed.error, "");
    std::atomic<bool> stop{false};
    testing::internal::CaptureStderr();
    quorvane::emulator::Station station(parsed, stop);
    const std::vector<std::string> paths = station.open();
    ASSERT_EQ(paths.size(), 3u);
    int status = -1;
    std::thread serving([&] { status = station.serve(); });
    const char* joined[] = {"{\"result\":1,\"ip\":\"127.0.0.2\"}", "{\"result\":0}",
                            "{\"result\":1,\"ip\":\"127.0.0.4\"}"};
    std::vector<int> lines;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        lines.push_back(open(paths[i].c_str(), O_RDWR | O_NOCTTY));
        EXPECT_NE(ask(lines[i], "listen wifi_connect net pass\r\n").find(joined[i]), std::string::npos) << i;
        ask(lines[i], "listen upload_record start -h 127.0.0.1 -c 5 -t 1\r\n");
    }
    std::map<std::string, std::string> uploads;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        uploads.insert(acceptUpload(listener));
    }
    serving.join();
    const std::string log = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, 0);
    for (unsigned device = 1; device <= 3; ++device) {
        SCOPED_TRACE("device " + std::to_string(device));
        const std::string from = "127.0.0." + std::to_string(device + 1);
        const std::string expected = deviceSignal(quorvane::emulator::UploadSignal::Tones, device, 8000);
        EXPECT_EQ(uploads[from], expected);
        const std::string copyPath = testing::TempDir() + "station-" + std::to_string(device) + ".pcm";
        std::ifstream copied(copyPath, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copied), {}), expected);
        std::remove(copyPath.c_str());
        EXPECT_NE(log.find("device " + std::to_string(device) + ": upload: connected from " + from), std::string::npos);
        close(lines[device - 1]);
    }
    close(listener);
}

}  // namespace

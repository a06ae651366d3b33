// One recording uploaded over loopback to TCP port 8888 and turned into four
// mono WAV files, measured end to end: first by the recording server (receive
// into record.pcm, split with the recording check, four converter runs, the
// level table, record.svg and record.json), then by ffmpeg doing the same
// job in one process. Reports wall time, throughput and peak resident memory
// of each, and checks that both made the same samples.
//
// usage: upload_bench WORK_FOLDER [SECONDS_OF_AUDIO]   (default 3600)
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <arpa/inet.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/shell.h"
#include "recording/record_summary.h"
#include "recording/shared_record_summary.h"
#include "upload/kestaro_socket.h"

namespace fs = std::filesystem;

namespace {

constexpr unsigned short kUploadPort = 8888;
constexpr std::size_t kSendBlock = 64 * 1024;
constexpr std::uint64_t kBytesPerSecond = 128000;

struct Measurement {
    double seconds = 0;
    long peakKilobytes = 0;
    long childPeakKilobytes = 0;
};

int connectToUploadPort() {
    const int handle = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(kUploadPort);
    inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
    if (::connect(handle, reinterpret_cast<const sockaddr*>(&server), sizeof server) != 0) {
        ::close(handle);
        return -1;
    }
    return handle;
}

// Connects as soon as something listens on the port (at most 30 s), then
// sends `total` bytes of a fixed noise block and closes.
bool sendRecording(std::uint64_t total) {
    int handle = -1;
    for (int attempt = 0; attempt < 3000 && (handle = connectToUploadPort()) < 0; ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (handle < 0) {
        std::fprintf(stderr, "upload_bench: nothing listens on 127.0.0.1:%u\n", kUploadPort);
        return false;
    }
    std::vector<char> block(kSendBlock);
    unsigned state = 12345;
    for (char& byte : block) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 16);
    }
    for (std::uint64_t sent = 0; sent < total;) {
        const std::size_t offset = static_cast<std::size_t>(sent % kSendBlock);
        const std::uint64_t left = total - sent;
        const std::size_t wanted = left < kSendBlock - offset ? static_cast<std::size_t>(left) : kSendBlock - offset;
        const ssize_t count = ::send(handle, block.data() + offset, wanted, MSG_NOSIGNAL);
        if (count <= 0) {
            std::perror("upload_bench: send");
            ::close(handle);
            return false;
        }
        sent += static_cast<std::uint64_t>(count);
    }
    ::close(handle);
    return true;
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Ends the summary as a run does, last: record.json beside the recording.
void writeSummary(quorvane::recording::SharedRecordSummary& summary) {
    summary.update([](quorvane::recording::RecordSummary& facts) { facts.endedAt = std::chrono::system_clock::now(); });
    if (quorvane::recording::writeRecordSummary(quorvane::recording::kSummaryFileName, summary.snapshot()) != 0) {
        std::fprintf(stderr, "upload_bench: cannot write record.json\n");
        std::exit(1);
    }
}

Measurement runRecordingServer(const fs::path& folder, std::uint64_t total) {
    fs::create_directories(folder);
    fs::current_path(folder);
    Measurement result;
    const auto start = std::chrono::steady_clock::now();
    quorvane::recording::RecordSummary facts;
    facts.startedAt = std::chrono::system_clock::now();
    facts.recordTime = std::to_string(total / kBytesPerSecond);
    const auto summary = std::make_shared<quorvane::recording::SharedRecordSummary>(facts);
    std::promise<bool> failed;
    std::future<bool> ended = failed.get_future();
    std::thread listener([&summary, &failed] {
        test server({nullptr, true, summary, [&failed](bool runFailed) { failed.set_value(runFailed); }, nullptr});
        server.Listen(kUploadPort);
    });
    const bool sent = sendRecording(total);
    // The server's end, on the listener thread, joins its audio thread.
    listener.join();
    const bool runFailed = ended.get();
    writeSummary(*summary);
    result.seconds = secondsSince(start);
    if (!sent || runFailed) {
        std::fprintf(stderr, "upload_bench: the recording server's run failed\n");
        std::exit(1);
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    result.peakKilobytes = usage.ru_maxrss;
    getrusage(RUSAGE_CHILDREN, &usage);
    result.childPeakKilobytes = usage.ru_maxrss;
    return result;
}

Measurement runFfmpeg(const fs::path& folder, std::uint64_t total) {
    fs::create_directories(folder);
    fs::current_path(folder);
    Measurement result;
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execlp("ffmpeg", "ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "s16le", "-ar", "16000", "-ch_layout",
               "quad", "-i", "tcp://127.0.0.1:8888?listen=1", "-filter_complex",
               "channelsplit=channel_layout=quad[a][b][c][d]", "-map", "[a]", "-ac", "1", "ch1.wav", "-map", "[b]",
               "-ac", "1", "ch2.wav", "-map", "[c]", "-ac", "1", "ch3.wav", "-map", "[d]", "-ac", "1", "ch4.wav",
               static_cast<char*>(nullptr));
        std::perror("upload_bench: ffmpeg");
        _exit(127);
    }
    const bool sent = sendRecording(total);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    result.seconds = secondsSince(start);
    result.childPeakKilobytes = usage.ru_maxrss;
    if (!sent || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "upload_bench: ffmpeg failed\n");
        std::exit(1);
    }
    return result;
}

// Where the samples of a WAV file begin: just after its "data" chunk header.
std::streamoff dataOffset(std::ifstream& wav) {
    wav.seekg(12);
    char header[8];
    while (wav.read(header, 8)) {
        std::uint32_t size = 0;
        for (int i = 3; i >= 0; --i) {
            size = size << 8 | static_cast<unsigned char>(header[4 + i]);
        }
        if (std::memcmp(header, "data", 4) == 0) {
            return wav.tellg();
        }
        wav.seekg(size + size % 2, std::ios::cur);
    }
    return -1;
}

bool sameSamples(const fs::path& first, const fs::path& second) {
    std::ifstream a(first, std::ios::binary);
    std::ifstream b(second, std::ios::binary);
    if (dataOffset(a) < 0 || dataOffset(b) < 0) {
        return false;
    }
    std::vector<char> blockA(kSendBlock);
    std::vector<char> blockB(kSendBlock);
    for (;;) {
        a.read(blockA.data(), kSendBlock);
        b.read(blockB.data(), kSendBlock);
        if (a.gcount() != b.gcount() || std::memcmp(blockA.data(), blockB.data(), a.gcount()) != 0) {
            return false;
        }
        if (a.gcount() == 0) {
            return true;
        }
    }
}

// The peak is that of the job's largest process: the server's own or a
// converter run for the recording server, ffmpeg's for ffmpeg.
void report(const char* who, const Measurement& measured, std::uint64_t total) {
    const long peak =
        measured.peakKilobytes > measured.childPeakKilobytes ? measured.peakKilobytes : measured.childPeakKilobytes;
    std::printf("%-28s %8.2f s %9.1f MB/s %9.1f MiB\n", who, measured.seconds, total / measured.seconds / 1e6,
                peak / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: upload_bench WORK_FOLDER [SECONDS_OF_AUDIO]\n");
        return 2;
    }
    const fs::path work = fs::absolute(argv[1]);
    const std::uint64_t seconds = argc > 2 ? std::strtoull(argv[2], nullptr, 10) : 3600;
    const std::uint64_t total = seconds * kBytesPerSecond;
    const fs::path programs = fs::path(quorvane::platform::executableDirectory()) / QUORVANE_CONVERTER_FOLDER;
    quorvane::platform::prependToSearchPath((work / "server").string(), programs.lexically_normal().string());

    const Measurement server = runRecordingServer(work / "server", total);
    const Measurement ffmpeg = runFfmpeg(work / "ffmpeg", total);

    std::printf("%llu s of 4-channel audio, %.1f MB, over loopback to port %u\n",
                static_cast<unsigned long long>(seconds), total / 1e6, kUploadPort);
    std::printf("%-28s %10s %14s %13s\n", "", "wall time", "throughput", "peak RSS");
    report("recording server + Pcm2Wav", server, total);
    report("ffmpeg", ffmpeg, total);
    std::printf(
        "peak RSS of the recording server's process %.1f MiB (test client thread included), of a "
        "Pcm2Wav run %.1f MiB\n",
        server.peakKilobytes / 1024.0, server.childPeakKilobytes / 1024.0);
    bool same = true;
    for (int channel = 1; channel <= 4; ++channel) {
        const std::string number = std::to_string(channel);
        same = same && sameSamples(work / "server" / ("record_ch" + number + ".wav"),
                                   work / "ffmpeg" / ("ch" + number + ".wav"));
    }
    std::printf("samples of all four channels %s\n", same ? "identical" : "DIFFER");
    std::error_code missing;
    const bool reported = fs::file_size(work / "server" / quorvane::recording::kSummaryFileName, missing) > 0 &&
                          fs::file_size(work / "server" / "record.svg", missing) > 0;
    std::printf("record.json and record.svg %s\n", reported ? "written" : "MISSING");
    return same && reported ? 0 : 1;
}

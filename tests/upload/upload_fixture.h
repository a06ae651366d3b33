#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "net/socket_layer.h"
#include "upload/audio_capture.h"
#include "upload/kestaro_socket.h"

// Every upload test works in a folder of its own below the test program
// (CTest runs tests in parallel), finds the converter the build made (the
// working folder first, as the run arranges it), and reads what the upload
// says on standard error from a file while the server still runs.
class UploadTest : public ::testing::Test {
public:
    // Waits (at most 60 s) until the audio thread has ended the test's run
    // and is done with it.
    static bool runEnded();

protected:
    void SetUp() override;
    void TearDown() override;

    // Everything said on the diagnostic stream so far.
    std::string diagnostics() const;
    // Waits (at most 30 s) until `text` has been said.
    bool waitForDiagnostic(const std::string& text) const;

    std::filesystem::path workFolder;

private:
    std::FILE* diagnosticFile = nullptr;
    std::filesystem::path previousFolder;
};

// The end of the run the upload tests hand their servers: what endRun was
// told. Made afresh for each test.
struct TestRunEnd {
    std::atomic<bool> finished{false};
    std::atomic<bool> failed{false};
};
std::shared_ptr<TestRunEnd>& testRunEnd();

// What the test's run shares with its upload. Made afresh for each test.
std::shared_ptr<quorvane::upload::UploadState>& testUploadState();

// What a run hands its upload, ending the test's run and sharing its upload
// state.
quorvane::upload::UploadWiring testWiring(std::function<void()> stopSerialLink = nullptr, bool convertChannel3 = false,
                                          std::shared_ptr<quorvane::recording::SharedRecordSummary> summary = nullptr);

// The test's run end as the parts are handed it.
std::function<void(bool)> testRunEnder();

// What the audio thread prints for an upload that is stored and converted.
extern const std::string kBeginLine;
extern const std::string kSuccessBlock;
extern const std::string kStoredUploadOutput;

// Runs a server's Listen on a thread of its own and joins it on destruction.
class ListeningServer {
public:
    explicit ListeningServer(KestaroSocket& server, int port = 0);
    ~ListeningServer();

    // The port, once Listen listens on it (0 when Listen ended first, or
    // after 30 s).
    unsigned short port() const;

    // Waits for Listen to return; the text of what it threw, if anything.
    std::string join();

    // The thread that runs Listen.
    std::thread::id thread() const;

private:
    KestaroSocket& server;
    std::string thrown;
    std::atomic<bool> ended{false};
    std::thread listener;
};

// Runs the audio thread as the recording server does, with a clock and a
// terminal decision of the test's choosing, and without the serial link;
// joins it on destruction.
class InstrumentedServer : public KestaroSocket {
public:
    explicit InstrumentedServer(quorvane::upload::AudioSettings settings)
        : KestaroSocket(testUploadState()), settings(std::move(settings)) {}
    void onConnect(unsigned int socket) override {
        quorvane::upload::AudioSettings handed = settings;
        handed.state = uploadState();
        if (!quorvane::upload::startAudioCapture(audioThread, socket, handed).get()) {
            listenForRetry();
        }
    }
    void onNoRetry(bool handedOver) override {
        quorvane::upload::endWithoutAudio({nullptr, false, settings.summary, settings.endRun, uploadState()},
                                          retryLimit(), handedOver);
    }

private:
    quorvane::upload::AudioSettings settings;
    ThreadPool audioThread{1};
};

// A wait for a retry that no test waits long for; nothing comes in it unless
// the test sends it.
constexpr std::chrono::milliseconds kShortRetryLimit{50};

// A server that closes every connection it is handed, and counts them.
class CountingServer : public KestaroSocket {
public:
    CountingServer() : KestaroSocket(testUploadState()) {}
    void onConnect(unsigned int socket) override {
        quorvane::net::closeSocket(static_cast<quorvane::net::SocketHandle>(socket));
        ++calls;
    }
    std::atomic<int> calls{0};
};

// One whole upload of `bytes` through the recording server on a port of its
// own, until the audio thread has ended the run (an empty one: until the
// short retry limit has passed); what it printed on standard output.
std::string serveOneUpload(const std::string& bytes, const quorvane::upload::UploadWiring& wiring = testWiring());

// A terminal `columns` wide.
quorvane::upload::ColumnQuery fixedColumns(int columns);

// A clock that moves on by `step` every time it is read, from 0.
quorvane::recording::ProgressClock steppingClock(std::chrono::milliseconds step);

// A clock that stands still, from 0, until the test moves it on.
class ManualClock {
public:
    quorvane::recording::ProgressClock clock() const;
    void advance(std::chrono::milliseconds by);

private:
    std::shared_ptr<std::atomic<std::chrono::milliseconds::rep>> now =
        std::make_shared<std::atomic<std::chrono::milliseconds::rep>>(0);
};

// A converter that exits with success but writes nothing.
std::filesystem::path fakeConverter();

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& bytes);

// How often `text` occurs in `within`.
int occurrences(const std::string& within, const std::string& text);

// Calls `ready` every millisecond until it is true, at most `seconds`.
template <class Condition>
bool eventually(Condition ready, int seconds = 30) {
    for (int waited = 0; waited < seconds * 1000; ++waited) {
        if (ready()) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return ready();
}

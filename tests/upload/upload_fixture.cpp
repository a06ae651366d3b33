#include "upload_fixture.h"

#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

#include "loopback_client.h"
#include "platform/diagnostics.h"
#include "platform/shell.h"
#include "upload/audio_capture.h"
#include "upload/kestaro_socket.h"
#include "upload/upload_control.h"

namespace fs = std::filesystem;

namespace {

fs::path besideTestProgram(const char* relative) {
    return (fs::path(quorvane::platform::executableDirectory()) / relative).lexically_normal();
}

}  // namespace

std::shared_ptr<TestRunEnd>& testRunEnd() {
    static std::shared_ptr<TestRunEnd> end = std::make_shared<TestRunEnd>();
    return end;
}

std::shared_ptr<quorvane::upload::UploadState>& testUploadState() {
    static std::shared_ptr<quorvane::upload::UploadState> state = std::make_shared<quorvane::upload::UploadState>();
    return state;
}

std::function<void(bool)> testRunEnder() {
    const std::shared_ptr<TestRunEnd> end = testRunEnd();
    return [end](bool failed) {
        end->failed = end->failed || failed;
        end->finished = true;
    };
}

quorvane::upload::UploadWiring testWiring(std::function<void()> stopSerialLink, bool convertChannel3,
                                          std::shared_ptr<quorvane::recording::SharedRecordSummary> summary) {
    return {std::move(stopSerialLink), convertChannel3, std::move(summary), testRunEnder(), testUploadState()};
}

const std::string kBeginLine = "socekt connected recv audio begin\n";
const std::string kSuccessBlock =
    "---------------------------------------------\n"
    "SUCCESS: recv audio success\n"
    "---------------------------------------------\n\n";
const std::string kStoredUploadOutput = kBeginLine + kSuccessBlock;

void UploadTest::SetUp() {
    const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
    workFolder = besideTestProgram("work") / (std::string(test->test_suite_name()) + "." + test->name());
    fs::remove_all(workFolder);
    fs::create_directories(workFolder);
    previousFolder = fs::current_path();
    fs::current_path(workFolder);
    quorvane::platform::prependToSearchPath(quorvane::platform::currentDirectory(),
                                            besideTestProgram(QUORVANE_CONVERTER_FOLDER).string());

    testRunEnd() = std::make_shared<TestRunEnd>();
    testUploadState() = std::make_shared<quorvane::upload::UploadState>();
    diagnosticFile = std::fopen("diagnostics.txt", "w+b");
    quorvane::platform::setDiagnosticStream(diagnosticFile);
}

void UploadTest::TearDown() {
    quorvane::platform::setDiagnosticStream(nullptr);
    std::fclose(diagnosticFile);
    fs::current_path(previousFolder);
}

std::string UploadTest::diagnostics() const {
    return readFile(workFolder / "diagnostics.txt");
}

bool UploadTest::waitForDiagnostic(const std::string& text) const {
    return eventually([&] { return diagnostics().find(text) != std::string::npos; });
}

bool UploadTest::runEnded() {
    const std::shared_ptr<TestRunEnd> end = testRunEnd();
    return eventually([&end] { return end->finished.load(); }, 60) &&
           testUploadState()->waitForAudioThread(std::chrono::seconds(10));
}

ListeningServer::ListeningServer(KestaroSocket& server, int port)
    : server(server), listener([this, port] {
          try {
              this->server.Listen(port);
          } catch (const std::runtime_error& error) {
              thrown = error.what();
          }
          ended = true;
      }) {}

ListeningServer::~ListeningServer() {
    join();
}

unsigned short ListeningServer::port() const {
    unsigned short bound = 0;
    eventually([&] { return (bound = server.localPort()) != 0 || ended; });
    return bound;
}

std::string ListeningServer::join() {
    if (listener.joinable()) {
        listener.join();
    }
    return thrown;
}

std::thread::id ListeningServer::thread() const {
    return listener.get_id();
}

quorvane::recording::ProgressClock steppingClock(std::chrono::milliseconds step) {
    auto readings = std::make_shared<std::atomic<int>>(0);
    return [readings, step] { return std::chrono::steady_clock::time_point(step * (*readings)++); };
}

quorvane::recording::ProgressClock ManualClock::clock() const {
    auto reading = now;
    return [reading] { return std::chrono::steady_clock::time_point(std::chrono::milliseconds(reading->load())); };
}

void ManualClock::advance(std::chrono::milliseconds by) {
    *now += by.count();
}

fs::path fakeConverter() {
    return besideTestProgram(QUORVANE_FAKE_CONVERTER);
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeFile(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

int occurrences(const std::string& within, const std::string& text) {
    int count = 0;
    for (auto at = within.find(text); at != std::string::npos; at = within.find(text, at + text.size())) {
        ++count;
    }
    return count;
}

std::string serveOneUpload(const std::string& bytes, const quorvane::upload::UploadWiring& wiring) {
    ::testing::internal::CaptureStdout();
    {
        test server(wiring);
        server.setRetryLimit(kShortRetryLimit);
        ListeningServer listening(server);
        LoopbackClient device(listening.port());
        device.send(bytes);
        device.finish();
        EXPECT_EQ(listening.join(), "");
        EXPECT_TRUE(UploadTest::runEnded());
    }
    return ::testing::internal::GetCapturedStdout();
}

quorvane::upload::ColumnQuery fixedColumns(int columns) {
    return [columns] { return columns; };
}

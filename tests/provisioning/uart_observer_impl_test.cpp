#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <memory>
#include "protocol/command_table.h"
#include "provisioning/uart_observer_impl.h"
#include "upload/upload_control.h"

namespace {

// One Wi-Fi reply through the listener, with the console captured and the
// recording server replaced by a record of its starts.
class WifiReply : public ::testing::Test {
protected:
    std::string respond(int command, bool ok, const std::string& body) {
        return respondTo(*listener, command, ok, body);
    }

    std::string respondTo(UartObserverImpl& to, int command, bool ok, const std::string& body) {
        ::testing::internal::CaptureStdout();
        ::testing::internal::CaptureStderr();
        to.onResponse(command, ok, body);
        errors = ::testing::internal::GetCapturedStderr();
        return ::testing::internal::GetCapturedStdout();
    }

    void expectSuccess(const std::string& body, const std::string& deviceIp) {
        const std::string out = respond(WIFI_CONNECT, true, body);
        EXPECT_EQ(out.rfind("wifi connect success, ip is " + deviceIp + ", local ip is ", 0), 0u) << out;
        EXPECT_FALSE(finished) << body;
        ASSERT_FALSE(starts.empty()) << body;
        EXPECT_EQ(starts.back(), deviceIp);
    }

    void expectRefusal(const std::string& body) {
        EXPECT_EQ(respond(WIFI_CONNECT, true, body), "wifi connect failed!\n") << body;
        EXPECT_TRUE(finished) << body;
        EXPECT_TRUE(failed) << body;
        EXPECT_TRUE(starts.empty()) << body;
        finished = false;
        failed = false;
    }

    quorvane::provisioning::RunSettings settings() {
        return {"net",
                "hunter2",
                "COM3",
                "30",
                nullptr,
                nullptr,
                [this](bool runFailed) {
                    finished = true;
                    failed = failed || runFailed;
                },
                [this] { return upload->endRunBeforeUpload(); },
                nullptr,
                std::nullopt};
    }

    // A listener as a run makes it, with the recording server's start
    // recorded.
    std::unique_ptr<UartObserverImpl> freshListener() {
        return std::make_unique<UartObserverImpl>(settings(),
                                                  [this](const std::string& deviceIp) { starts.push_back(deviceIp); });
    }

    // One with this computer's address looked up by a record of the
    // addresses it was asked for.
    std::unique_ptr<UartObserverImpl> freshRecordingLookups() {
        return std::make_unique<UartObserverImpl>(
            settings(), [this](const std::string& deviceIp) { starts.push_back(deviceIp); },
            [this](const std::string& deviceIp) {
                lookups.push_back(deviceIp);
                return std::string("192.0.2.1");
            });
    }

    // What the run shares with its upload, for the hand-over of a connection.
    const std::shared_ptr<quorvane::upload::UploadState> upload = std::make_shared<quorvane::upload::UploadState>();
    bool finished = false;
    bool failed = false;
    std::vector<std::string> starts;
    std::vector<std::string> lookups;
    std::string errors;
    std::unique_ptr<UartObserverImpl> listener = freshListener();
};

TEST_F(WifiReply, ResultOneStartsOneServerAndSaysToWait) {
    const std::string out = respond(WIFI_CONNECT, true, R"({"result":1,"ip":"127.0.0.1"})");
    EXPECT_EQ(out,
              "wifi connect success, ip is 127.0.0.1, local ip is 127.0.0.1\n"
              "wait for socket connect....\n");
    EXPECT_EQ(starts, std::vector<std::string>{"127.0.0.1"});
    EXPECT_TRUE(listener->recordStarted());
    EXPECT_FALSE(finished);
}

TEST_F(WifiReply, SecondSuccessPrintsAgainButStartsNoSecondServer) {
    respond(WIFI_CONNECT, true, R"({"result":1,"ip":"127.0.0.1"})");
    const std::string out = respond(WIFI_CONNECT, true, R"({"result":1,"ip":"127.0.0.1"})");
    EXPECT_EQ(out, "wifi connect success, ip is 127.0.0.1, local ip is 127.0.0.1\n");
    EXPECT_EQ(starts.size(), 1u);
}

TEST_F(WifiReply, ResultIsTheIntegerValueOfANumber) {
    expectSuccess(R"({"result":1.5,"ip":"127.0.0.1"})", "127.0.0.1");
    expectSuccess(R"({"ip":"127.0.0.1","result":1e0,"other":[1,2]})", "127.0.0.1");
}

TEST_F(WifiReply, MissingOrNonStringIpStillSucceedsWithAnEmptyAddress) {
    expectSuccess(R"({"result":1})", "");
    listener = freshListener();
    expectSuccess(R"({"result":1,"ip":7})", "");
}

TEST_F(WifiReply, AnythingButANumberOneIsARefusal) {
    for (const char* body :
         {R"({"result":0})", R"({"result":"1"})", R"({"result":true})", R"({})", R"({"Result":1})", R"({"result":2})",
          R"({"result":0.99})", R"({"result":-1})", R"([1])", "not json", "", R"({"result":1)"}) {
        expectRefusal(body);
    }
}

TEST_F(WifiReply, RefusalShowsTheReplyButNeverThePassPhrase) {
    expectRefusal(R"({"result":0,"echo":"net hunter2 hunter2"})");
    EXPECT_NE(errors.find(R"("result":0)"), std::string::npos) << errors;
    EXPECT_EQ(errors.find("hunter2"), std::string::npos) << errors;
}

TEST_F(WifiReply, TimeoutEndsTheRunWithoutLookingAtTheBody) {
    EXPECT_EQ(respond(WIFI_CONNECT, false, R"({"result":1})"), "wifi connect failed, timeout!\n");
    EXPECT_TRUE(finished);
    EXPECT_TRUE(failed);
    EXPECT_TRUE(starts.empty());
}

TEST_F(WifiReply, UploadRecordRepliesAndTimeoutsAreIgnored) {
    EXPECT_EQ(respond(UPLOAD_RECORD, true, R"({"result":0})"), "");
    EXPECT_EQ(respond(UPLOAD_RECORD, false, ""), "");
    EXPECT_EQ(respond(HEART_BEAT, true, ""), "");
    EXPECT_FALSE(finished);
    EXPECT_TRUE(starts.empty());
}

// The console line shows what the device said; for anything else the address
// counts as none, so that the upload address comes from the host name and
// the first connection is served.
TEST_F(WifiReply, AnAddressNoDeviceCanHaveIsShownButTakenAsNone) {
    const struct {
        const char* ip;
        bool usable;
    } replies[] = {{"0.0.0.0", false},      {"255.255.255.255", false}, {"224.0.0.251", false},
                   {"device.local", false}, {"192.168.1.7", true},      {"127.0.0.1", true}};
    for (const auto& reply : replies) {
        SCOPED_TRACE(reply.ip);
        starts.clear();
        lookups.clear();
        const auto recordingLookups = freshRecordingLookups();
        const std::string out =
            respondTo(*recordingLookups, WIFI_CONNECT, true, std::string(R"({"result":1,"ip":")") + reply.ip + "\"}");
        EXPECT_EQ(out, std::string("wifi connect success, ip is ") + reply.ip +
                           ", local ip is 192.0.2.1\nwait for socket connect....\n");
        const std::string taken = reply.usable ? reply.ip : "";
        EXPECT_EQ(starts, std::vector<std::string>{taken});
        EXPECT_EQ(lookups, std::vector<std::string>{taken});
        EXPECT_EQ(errors.find("is no address a device can have; taken as none") != std::string::npos, !reply.usable)
            << errors;
    }
}

// A later join (after a reconnection) that fails or goes unanswered while the
// upload is under way must not end the run: the upload decides.
TEST_F(WifiReply, AFailedOrUnansweredJoinOnceTheUploadHasBegunChangesNothing) {
    ASSERT_TRUE(upload->beginHandOver());
    for (const bool answered : {true, false}) {
        SCOPED_TRACE(answered);
        EXPECT_EQ(respond(WIFI_CONNECT, answered, R"({"result":0})"), "");
        EXPECT_FALSE(finished);
        EXPECT_FALSE(failed);
        EXPECT_NE(errors.find("after its upload had begun; the upload goes on and decides how the run ends"),
                  std::string::npos)
            << errors;
    }
    upload->endWork();
}

TEST_F(WifiReply, AFailedJoinBeforeTheUploadLetsNoUploadBeginAfterIt) {
    expectRefusal(R"({"result":0})");
    EXPECT_FALSE(upload->beginHandOver());
}

TEST_F(WifiReply, DeeplyNestedReplyIsARefusalNotACrash) {
    expectRefusal(std::string(100000, '[') + std::string(100000, ']'));
}

}  // namespace

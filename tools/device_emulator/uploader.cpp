#include "device_emulator/uploader.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <vector>

#include "device_emulator/log.h"
#include "device_emulator/loopback.h"
#include "device_emulator/tcp_client.h"
#include "device_emulator/upload_content.h"

namespace quorvane::emulator {

namespace {

constexpr std::size_t kChunkBytes = 4096;
constexpr Milliseconds kConnectTimeout{5000};
constexpr Milliseconds kRetryInterval{200};
constexpr Milliseconds kWritableWait{50};
constexpr Milliseconds kAcknowledgeLimit{2000};
constexpr Milliseconds kStrangerLinger{1000};
constexpr Milliseconds kStrangerSendLimit{10000};
// A host that has not accepted the connection yet reads nothing, so what does
// not fit into its buffers by then is never sent.
constexpr Milliseconds kEarlyResetSendLimit{2000};
// A device stack resets after its data, never within a moment of connecting:
// by then the host has long accepted the connection. (A connection reset
// before the host accepts it is --reset-first's fault, not --reset-at's.)
constexpr Milliseconds kResetNotBefore{1000};
constexpr Milliseconds kHoldPoll{200};
constexpr int kRateSlicesPerSecond = 20;

std::unique_ptr<TcpConnection> connectWithRetry(const std::string& address, std::uint16_t port,
                                                const std::string& fromAddress, Milliseconds retryFor,
                                                const std::atomic<bool>& stop) {
    const Clock::time_point giveUp = Clock::now() + retryFor;
    bool toldRetrying = false;
    for (;;) {
        ConnectAttempt attempt = TcpConnection::connect(address, port, fromAddress, kConnectTimeout);
        if (attempt.connection) {
            return std::move(attempt.connection);
        }
        if (!attempt.refused || Clock::now() >= giveUp) {
            log("upload: ", attempt.error, " (", address, ":", port, ")");
            return nullptr;
        }
        if (!toldRetrying) {
            log("upload: nothing listens on ", address, ":", port, " yet; retrying for up to ",
                retryFor.count() / 1000.0, " s");
            toldRetrying = true;
        }
        if (!sleepUnlessStopped(kRetryInterval, stop)) {
            return nullptr;
        }
    }
}

// Sends until every byte is out, the peer has gone, stop is set or `limit`
// has passed.
std::uint64_t sendWithin(TcpConnection& connection, const std::string& bytes, Milliseconds limit,
                         const std::atomic<bool>& stop) {
    const Clock::time_point giveUp = Clock::now() + limit;
    std::uint64_t sent = 0;
    while (sent < bytes.size() && !stop && Clock::now() < giveUp) {
        const SendResult result = connection.send(bytes.data() + sent, bytes.size() - sent);
        if (result.status == SendStatus::PeerClosed) {
            break;
        }
        sent += result.bytes;
        if (result.status == SendStatus::Blocked) {
            connection.waitWritable(kWritableWait);
        }
    }
    return sent;
}

std::string patternBytes(const std::string& pattern, std::uint64_t size) {
    std::string bytes;
    bytes.reserve(size);
    while (bytes.size() < size) {
        bytes.append(pattern, 0, std::min<std::size_t>(pattern.size(), size - bytes.size()));
    }
    return bytes;
}

// Sends the upload's bytes with the pauses, the rate limit and the reset that
// a test asked for, and keeps a copy of what went out.
class UploadStream {
public:
    UploadStream(const UploadOptions& options, TcpConnection& connection, ContentSource& source, std::ofstream& copy,
                 const std::atomic<bool>& stop)
        : options_(options), connection_(connection), source_(source), copy_(copy), stop_(stop) {}

    UploadOutcome sendAll(std::uint64_t total) {
        began_ = Clock::now();
        rateStart_ = began_;
        for (;;) {
            if (options_.resetAt && sent_ == *options_.resetAt) {
                return resetNow();
            }
            if (options_.holdAt && sent_ == *options_.holdAt) {
                return holdNow();
            }
            if (options_.pauseAt && sent_ == *options_.pauseAt && !paused_ && !pauseNow()) {
                return UploadOutcome::Stopped;
            }
            if (sent_ == total) {
                copy_.flush();
                return UploadOutcome::Sent;
            }
            if (stop_) {
                return UploadOutcome::Stopped;
            }
            if (!sendSome(total)) {
                return UploadOutcome::PeerClosed;
            }
        }
    }

private:
    bool sendSome(std::uint64_t total) {
        if (chunkOffset_ == chunk_.size()) {
            chunk_.resize(nextChunkSize(total));
            source_.read(chunk_.data(), chunk_.size());
            chunkOffset_ = 0;
        }
        if (!waitForRate()) {
            return true;
        }
        // A host that has gone would still have the next send accepted by our
        // kernel; checking first keeps such bytes out of the copy.
        if (connection_.peerHasClosed()) {
            log("upload: the host closed the connection after ", sent_, " bytes");
            return false;
        }
        const SendResult result = connection_.send(chunk_.data() + chunkOffset_, chunk_.size() - chunkOffset_);
        if (result.status == SendStatus::PeerClosed) {
            log("upload: the host closed the connection after ", sent_, " bytes");
            return false;
        }
        copy_.write(chunk_.data() + chunkOffset_, static_cast<std::streamsize>(result.bytes));
        chunkOffset_ += result.bytes;
        sent_ += result.bytes;
        if (result.status == SendStatus::Blocked) {
            connection_.waitWritable(kWritableWait);
        }
        return true;
    }

    // The next piece ends at the total, the pause point or the reset point,
    // whichever comes first, so each of them falls between two sends.
    std::size_t nextChunkSize(std::uint64_t total) const {
        std::uint64_t size = std::min<std::uint64_t>(kChunkBytes, total - sent_);
        for (const auto& stopPoint : {options_.pauseAt, options_.resetAt, options_.holdAt}) {
            if (stopPoint && *stopPoint > sent_) {
                size = std::min(size, *stopPoint - sent_);
            }
        }
        if (options_.rate > 0) {
            size = std::min(size, std::max<std::uint64_t>(1, options_.rate / kRateSlicesPerSecond));
        }
        return static_cast<std::size_t>(size);
    }

    // False while the bytes sent since the rate's start are ahead of the rate.
    bool waitForRate() {
        if (options_.rate == 0) {
            return true;
        }
        const auto due = rateStart_ + Milliseconds((sent_ - rateBase_) * 1000 / options_.rate);
        const Clock::time_point now = Clock::now();
        if (due <= now) {
            return true;
        }
        sleepUnlessStopped(std::min(timeUntil(due, now), kWritableWait), stop_);
        return false;
    }

    bool pauseNow() {
        paused_ = true;
        copy_.flush();
        connection_.waitUntilAcknowledged(kAcknowledgeLimit);
        log("upload: pausing for ", options_.pauseFor.count() / 1000.0, " s after ", sent_, " bytes");
        announce("sent " + std::to_string(sent_) + " bytes");
        const bool resumed = sleepUnlessStopped(options_.pauseFor, stop_);
        rateStart_ = Clock::now();
        rateBase_ = sent_;
        return resumed;
    }

    UploadOutcome resetNow() {
        copy_.flush();
        connection_.waitUntilAcknowledged(kAcknowledgeLimit);
        sleepUnlessStopped(timeUntil(began_ + kResetNotBefore, Clock::now()), stop_);
        log("upload: resetting the connection after ", sent_, " bytes");
        connection_.reset();
        return UploadOutcome::ResetAsAsked;
    }

    // As a device that lost its power or its Wi-Fi: nothing more is sent,
    // not even a FIN or a reset, until the host gives up on the connection.
    UploadOutcome holdNow() {
        copy_.flush();
        connection_.waitUntilAcknowledged(kAcknowledgeLimit);
        log("upload: holding the connection after ", sent_, " bytes, sending nothing more");
        announce("holding after " + std::to_string(sent_) + " bytes");
        const Clock::time_point heldFrom = Clock::now();
        while (!stop_) {
            if (connection_.waitForPeerClose(kHoldPoll)) {
                log("upload: the host closed the held connection after ",
                    std::chrono::duration<double>(Clock::now() - heldFrom).count(), " s");
                return UploadOutcome::HeldAsAsked;
            }
        }
        return UploadOutcome::Stopped;
    }

    const UploadOptions& options_;
    TcpConnection& connection_;
    ContentSource& source_;
    std::ofstream& copy_;
    const std::atomic<bool>& stop_;
    std::vector<char> chunk_;
    std::size_t chunkOffset_ = 0;
    std::uint64_t sent_ = 0;
    bool paused_ = false;
    Clock::time_point rateStart_{};
    std::uint64_t rateBase_ = 0;
    Clock::time_point began_{};
};

}  // namespace

const char* describe(UploadOutcome outcome) {
    switch (outcome) {
        case UploadOutcome::Sent:
            return "every byte sent";
        case UploadOutcome::ResetAsAsked:
            return "connection reset as asked";
        case UploadOutcome::HeldAsAsked:
            return "connection held until the host closed it, as asked";
        case UploadOutcome::Stopped:
            return "stopped before the end";
        case UploadOutcome::ConnectFailed:
            return "could not connect";
        case UploadOutcome::PeerClosed:
            return "the host closed the connection early";
        case UploadOutcome::SetupFailed:
            return "could not prepare the upload";
    }
    return "?";
}

UploadPlan planUpload(const UploadOptions& options, const std::string& requestedAddress,
                      const std::string& recordTime) {
    UploadPlan plan;
    plan.address = loopbackTarget(requestedAddress);
    plan.addressReplaced = plan.address != requestedAddress;
    const std::optional<double> recordSeconds = parseRecordSeconds(recordTime);
    plan.recordTimeUnderstood = recordSeconds.has_value();
    const double seconds = recordSeconds.value_or(0.0);
    plan.wait = options.wait.value_or(Milliseconds(std::llround(seconds * 1000)));
    if (options.bytes) {
        plan.bytes = *options.bytes;
    } else if (!options.sourcePath.empty()) {
        plan.bytes = fileSize(options.sourcePath).value_or(0);
    } else {
        plan.bytes = bytesOfAudio(seconds);
    }
    return plan;
}

Uploader::Uploader(UploadOptions options, const std::atomic<bool>& stop) : options_(std::move(options)), stop_(stop) {}

Uploader::~Uploader() {
    joinEarlyReset();
    if (worker_.joinable()) {
        worker_.join();
    }
}

bool Uploader::busy() const {
    return worker_.joinable() && !finished_;
}

void Uploader::start(const UploadPlan& plan) {
    joinEarlyReset();
    if (worker_.joinable()) {
        worker_.join();
    }
    finished_ = false;
    worker_ = std::thread([this, plan, name = logName()] {
        const LogNameScope named(name);
        run(plan);
    });
}

std::optional<UploadOutcome> Uploader::finishedOutcome() const {
    if (!worker_.joinable() || !finished_) {
        return std::nullopt;
    }
    return outcome_.load();
}

void Uploader::run(const UploadPlan& plan) {
    const UploadOutcome outcome = upload(plan);
    log("upload: ended, ", describe(outcome));
    outcome_ = outcome;
    finished_ = true;
}

UploadOutcome Uploader::upload(const UploadPlan& plan) {
    log("upload: recording for ", plan.wait.count() / 1000.0, " s, then sending ", plan.bytes, " bytes to ",
        plan.address, ":", options_.port);
    if (!sleepUnlessStopped(plan.wait, stop_)) {
        return UploadOutcome::Stopped;
    }
    std::ofstream copy;
    std::unique_ptr<ContentSource> source;
    try {
        source = openContentSource(options_.sourcePath, options_.signal.value_or(UploadSignal::Tones), options_.device);
        if (!options_.copyPath.empty()) {
            copy.open(options_.copyPath, std::ios::binary | std::ios::trunc);
            if (!copy) {
                throw std::runtime_error("cannot write the upload copy " + options_.copyPath);
            }
        }
    } catch (const std::runtime_error& error) {
        log("upload: ", error.what());
        return UploadOutcome::SetupFailed;
    }
    if (!options_.strangerFrom.empty()) {
        playStranger(plan.address);
    }
    std::unique_ptr<TcpConnection> connection =
        connectWithRetry(plan.address, options_.port, options_.fromAddress, options_.connectRetry, stop_);
    if (!connection) {
        return stop_ ? UploadOutcome::Stopped : UploadOutcome::ConnectFailed;
    }
    log("upload: connected from ", connection->localAddress());
    const Clock::time_point began = Clock::now();
    try {
        const UploadOutcome outcome = UploadStream(options_, *connection, *source, copy, stop_).sendAll(plan.bytes);
        log("upload: ", std::chrono::duration<double>(Clock::now() - began).count(), " s on the connection");
        return outcome;
    } catch (const std::runtime_error& error) {
        log("upload: ", error.what());
        return UploadOutcome::SetupFailed;
    }
}

void Uploader::playStranger(const std::string& address) {
    std::unique_ptr<TcpConnection> stranger =
        connectWithRetry(address, options_.port, options_.strangerFrom, options_.connectRetry, stop_);
    if (!stranger) {
        log("stranger: could not connect from ", options_.strangerFrom);
        return;
    }
    log("stranger: connected from ", stranger->localAddress());
    const std::uint64_t sent =
        sendWithin(*stranger, patternBytes("not the device! ", options_.strangerBytes), kStrangerSendLimit, stop_);
    log("stranger: sent ", sent, " of ", options_.strangerBytes, " bytes");
    if (stranger->waitForPeerClose(kStrangerLinger)) {
        log("stranger: the host closed the stranger's connection");
    } else {
        log("stranger: the host kept the connection open for ", kStrangerLinger.count(), " ms; leaving");
    }
}

void Uploader::startEarlyReset() {
    joinEarlyReset();
    earlyReset_ = std::thread([this, name = logName()] {
        const LogNameScope named(name);
        playEarlyReset();
    });
}

void Uploader::joinEarlyReset() {
    if (earlyReset_.joinable()) {
        earlyReset_.join();
    }
}

// The host listens from its start but accepts only once it has asked for the
// upload, so this connection waits unaccepted while it is reset.
void Uploader::playEarlyReset() {
    const std::uint64_t size = options_.resetFirstBytes.value_or(0);
    std::unique_ptr<TcpConnection> connection =
        connectWithRetry(kDefaultLoopback, options_.port, options_.fromAddress, options_.connectRetry, stop_);
    if (!connection) {
        log("reset-first: could not connect");
        return;
    }
    log("reset-first: connected from ", connection->localAddress());
    const std::uint64_t sent =
        sendWithin(*connection, patternBytes("reset before accept ", size), kEarlyResetSendLimit, stop_);
    connection->reset();
    log("reset-first: sent ", sent, " of ", size, " bytes and reset the connection");
}

}  // namespace quorvane::emulator

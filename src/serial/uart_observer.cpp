#include "serial/uart_observer.h"

#include <algorithm>
#include <chrono>

#include "platform/diagnostics.h"
#include "platform/sleep.h"
#include "protocol/command_table.h"
#include "serial/serial_port.h"

namespace quorvane {
namespace {

constexpr std::int32_t kReadCapacity = 1024;
constexpr int kProbeAttempts = 3;
constexpr std::uint8_t kEightDataBits = 8;

// A step of the link thread takes a pause of at most a second and a write
// bounded by the port's time-out. One that took longer means this process did
// not run (a machine loaded beyond its cores, a paused virtual machine, a
// suspended laptop), and the device is not to blame for more than this of it.
constexpr std::chrono::milliseconds kLongestWatchedStep{2000};

// How long the device has said nothing while this process was watching: a
// look adds the time since the previous one, at most kLongestWatchedStep, and
// only when the reader has finished a read since, so found the port empty or
// took in what waited; never more than the device has actually been silent.
// Without it a stall of the PC or of the reader longer than the loss time-out
// reopened the port, which threw away the answers waiting in it and the
// request just written.
class SilenceWatch {
public:
    SilenceWatch(const LinkClock& clock, const std::atomic<std::size_t>& readsDone)
        : clock_(clock), readsDone_(readsDone), lastLook_(clock()), readsAtLastLook_(readsDone) {}

    std::chrono::milliseconds look(std::chrono::milliseconds unheard) {
        const platform::FtimeStamp now = clock_();
        const std::size_t reads = readsDone_;
        if (reads != readsAtLastLook_) {
            const std::chrono::milliseconds step(platform::elapsedMilliseconds(lastLook_, now));
            silence_ += std::min(step, kLongestWatchedStep);
        }
        lastLook_ = now;
        readsAtLastLook_ = reads;
        silence_ = std::min(silence_, unheard);
        return silence_;
    }

private:
    const LinkClock& clock_;
    const std::atomic<std::size_t>& readsDone_;
    platform::FtimeStamp lastLook_;
    std::size_t readsAtLastLook_;
    std::chrono::milliseconds silence_{0};
};

}  // namespace

UartObserver::UartObserver(int port, int baudRate, const LinkTimings& timings)
    : UartObserver(serialPortName(port), baudRate, timings) {}

UartObserver::UartObserver(const std::string& deviceName, int baudRate, const LinkTimings& timings)
    : timings_(timings),
      portName_(deviceName),
      baudRate_(baudRate),
      serialPort_(std::make_unique<SerialPort>(timings.serial)) {}

UartObserver::~UartObserver() {
    stop();
    joinThreads();
}

void UartObserver::setListener(IUartObserverListener* newListener) {
    listener_.reset(newListener);
}

void UartObserver::setDiagnostics(std::unique_ptr<ILinkDiagnostics> newDiagnostics) {
    diagnostics_ = std::move(newDiagnostics);
}

bool UartObserver::start() {
    if (running_ || linkState_ != Closed) {
        return false;
    }
    joinThreads();
    serialPort_->resumeReads();
    running_ = true;
    linkThread_ = platform::sayingThread(&UartObserver::linkLoop, this);
    readerThread_ = platform::sayingThread(&UartObserver::readLoop, this);
    return true;
}

// The reader may be inside a read that would otherwise wait for the device's
// next bytes for up to the port's total time-out.
void UartObserver::stop() {
    running_ = false;
    serialPort_->cancelReads();
    { std::lock_guard<std::mutex> lock(wakeMutex_); }
    wakeCondition_.notify_all();
    stopCondition_.notify_all();
}

bool UartObserver::send(const UartRequest& request) {
    // A stopped link that is still up carries requests until the link thread has closed the port.
    if (!running_ && linkState_ != Connected) {
        return false;
    }
    const auto length = static_cast<std::int32_t>(request.line.size());
    if (serialPort_->write(request.line.data(), length) < 1) {
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(pendingMutex_);
        if (request.type != HEART_BEAT || !heartbeatPending()) {
            pending_.push_back(request);
        }
        publishPendingSize();
    }
    wakeReader();
    return true;
}

// One waiting heart-beat stands for all that were sent after it: each waits
// for the same acknowledgement, and the oldest has seen every chunk that a
// newer one would have. A copy per heart-beat made a reader that fell behind
// slower with every half second, since each chunk is matched against each
// copy.
bool UartObserver::heartbeatPending() const {
    return std::any_of(pending_.begin(), pending_.end(),
                       [](const UartRequest& request) { return request.type == HEART_BEAT; });
}

LinkState UartObserver::state() const {
    return static_cast<LinkState>(linkState_.load());
}

std::size_t UartObserver::pendingCount() const {
    return pendingSize_;
}

std::size_t UartObserver::bytesReceived() const {
    return bytesReceived_;
}

void UartObserver::linkLoop() {
    while (running_) {
        runStep();
        pauseWhileRunning(timings_.stepPause);
    }
    closePort();
}

void UartObserver::runStep() {
    switch (linkState_.load()) {
        case Closed:
            openPort();
            break;
        case Opened:
            probe();
            break;
        case Probing:
            awaitProbeAnswer();
            break;
        case Connected:
            keepAlive();
            break;
        case Lost:
            reportLoss();
            break;
        case Closing:
            closePort();
            break;
    }
}

void UartObserver::openPort() {
    if (serialPort_->open(portName_, static_cast<std::uint32_t>(baudRate_), kNoParity, kEightDataBits, kOneStopBit)) {
        if (reportedProblem_ == LinkProblem::PortUnavailable) {
            endProblem();
        }
        linkState_ = Opened;
        return;
    }
    const OpenError& error = serialPort_->lastOpenError();
    if (beginProblem(LinkProblem::PortUnavailable, error.kind)) {
        diagnostics_->portUnavailable(portName_, error);
    }
}

void UartObserver::probe() {
    linkState_ = Probing;
    const UartRequest heartbeat = makeRequest(HEART_BEAT, "");
    bool sent = false;
    for (int attempt = 0; attempt < kProbeAttempts && !sent; ++attempt) {
        sent = send(heartbeat);
        stampHeartbeat();
        if (!sent && !pauseWhileRunning(timings_.writeRetryPause)) {
            break;
        }
    }
    if (!sent) {
        linkState_ = Closing;
    }
}

void UartObserver::awaitProbeAnswer() {
    SilenceWatch watch(timings_.clock, readsDone_);
    while (running_ && linkState_ == Probing) {
        if (watch.look(sinceHeartbeat()) > timings_.probeTimeout) {
            int probing = Probing;
            if (linkState_.compare_exchange_strong(probing, Closing) && beginProblem(LinkProblem::DeviceSilent)) {
                diagnostics_->deviceSilent(portName_);
            }
            return;
        }
        pauseWhileRunning(timings_.probePoll);
    }
}

void UartObserver::keepAlive() {
    endProblem();
    if (listener_) {
        listener_->onConnected();
    }
    const UartRequest heartbeat = makeRequest(HEART_BEAT, "");
    SilenceWatch watch(timings_.clock, readsDone_);
    while (pauseWhileRunning(timings_.heartbeatPeriod)) {
        send(heartbeat);
        if (watch.look(sinceHeard()) > timings_.lossTimeout) {
            linkState_ = Lost;
            return;
        }
    }
}

void UartObserver::reportLoss() {
    if (listener_) {
        listener_->onDisconnected();
    }
    if (beginProblem(LinkProblem::LinkLost)) {
        diagnostics_->linkLost(portName_);
    }
    linkState_ = Closing;
}

// Heart-beats sent on this port can no longer be answered once it is closed;
// the next probe sends a fresh one. Dropping them keeps the pending list from
// growing with every probe of a silent device.
void UartObserver::closePort() {
    serialPort_->close();
    dropHeartbeats();
    linkState_ = Closed;
}

bool UartObserver::pauseWhileRunning(std::chrono::milliseconds pause) {
    std::unique_lock<std::mutex> lock(wakeMutex_);
    stopCondition_.wait_for(lock, pause, [this] { return !running_; });
    return running_;
}

// True when the problem is new and someone listens for it.
bool UartObserver::beginProblem(LinkProblem problem, OpenFailure failure) {
    if (problem == reportedProblem_ && failure == reportedFailure_) {
        return false;
    }
    reportedProblem_ = problem;
    reportedFailure_ = failure;
    return diagnostics_ != nullptr;
}

void UartObserver::endProblem() {
    reportedProblem_ = LinkProblem::None;
    reportedFailure_ = OpenFailure::None;
}

void UartObserver::readLoop() {
    std::vector<char> buffer(kReadCapacity);
    while (awaitPending()) {
        const std::int32_t count = serialPort_->read(buffer.data(), kReadCapacity);
        ++readsDone_;
        if (count > 0) {
            stampReceived(count);
            // The whole read is the chunk: cut at a NUL byte, line noise at
            // the device's boot would hide a frame read with it.
            const std::string chunk(buffer.data(), static_cast<std::size_t>(count));
            walkPending(&chunk);
        } else {
            walkPending(nullptr);
            platform::sleepMilliseconds(static_cast<unsigned>(timings_.idleReadPause.count()));
        }
    }
    linkState_ = Closed;
}

// The size is published before the wait is woken (wakeReader), and the wait
// tests it under wakeMutex, so a request appended between the test and the
// wait still wakes it.
bool UartObserver::awaitPending() {
    std::unique_lock<std::mutex> lock(wakeMutex_);
    wakeCondition_.wait(lock, [this] { return !running_ || pendingSize_ > 0; });
    return running_;
}

// Offers the chunk read (none after an empty read) to every waiting request,
// oldest first, settling the ones it completes and reporting the expired.
void UartObserver::walkPending(const std::string* chunk) {
    std::lock_guard<std::mutex> lock(pendingMutex_);
    for (auto entry = pending_.begin(); entry != pending_.end();) {
        if (chunk != nullptr && entry->feed(*chunk)) {
            settle(*entry);
            entry = pending_.erase(entry);
        } else if (hasExpired(*entry)) {
            reportExpiry(*entry);
            entry = pending_.erase(entry);
        } else {
            ++entry;
        }
    }
    publishPendingSize();
}

void UartObserver::settle(const UartRequest& request) {
    if (request.type == HEART_BEAT) {
        settleHeartbeat();
    } else if (listener_) {
        listener_->onResponse(request.type, true, request.ackPayload());
    }
}

// Only a probe's answer brings the link up. An answer that a reader which
// fell behind takes in after the link thread has given the link up is too
// late: the loss is reported and the port reopened first, so the listener
// never hears onConnected twice in a row.
void UartObserver::settleHeartbeat() {
    int probing = Probing;
    linkState_.compare_exchange_strong(probing, Connected);
    stampHeartbeat();
}

// Heart-beats never expire here: the link thread watches their answers.
bool UartObserver::hasExpired(const UartRequest& request) const {
    return request.type != HEART_BEAT && request.isTimedOut(timings_.clock());
}

void UartObserver::reportExpiry(const UartRequest& request) {
    if (listener_) {
        listener_->onResponse(request.type, false, std::string());
    }
}

void UartObserver::dropHeartbeats() {
    std::lock_guard<std::mutex> lock(pendingMutex_);
    pending_.erase(std::remove_if(pending_.begin(), pending_.end(),
                                  [](const UartRequest& request) { return request.type == HEART_BEAT; }),
                   pending_.end());
    publishPendingSize();
}

void UartObserver::publishPendingSize() {
    pendingSize_ = pending_.size();
}

void UartObserver::wakeReader() {
    { std::lock_guard<std::mutex> lock(wakeMutex_); }
    wakeCondition_.notify_one();
}

void UartObserver::stampHeartbeat() {
    const platform::FtimeStamp now = timings_.clock();
    std::lock_guard<std::mutex> lock(heartbeatMutex_);
    lastHeartbeat_ = now;
}

// A device whose bytes keep arriving is alive even while its heart-beat
// answers wait behind them: a megabyte of its log or of line noise takes the
// reader longer than the loss time-out on a slow line or a busy computer, and
// reopening the port then would throw away what is still waiting in it.
void UartObserver::stampReceived(std::int32_t count) {
    const platform::FtimeStamp now = timings_.clock();
    {
        std::lock_guard<std::mutex> lock(heartbeatMutex_);
        lastReceived_ = now;
    }
    bytesReceived_ += static_cast<std::size_t>(count);
}

// How long the device has said nothing at all: no heart-beat answer and no
// byte of anything else. The probe's answer came in as bytes read, so both
// stamps are set once the link is up.
std::chrono::milliseconds UartObserver::sinceHeard() const {
    platform::FtimeStamp answered;
    platform::FtimeStamp received;
    {
        std::lock_guard<std::mutex> lock(heartbeatMutex_);
        answered = lastHeartbeat_;
        received = lastReceived_;
    }
    const platform::FtimeStamp now = timings_.clock();
    return std::chrono::milliseconds(
        std::min(platform::elapsedMilliseconds(answered, now), platform::elapsedMilliseconds(received, now)));
}

std::chrono::milliseconds UartObserver::sinceHeartbeat() const {
    platform::FtimeStamp last;
    {
        std::lock_guard<std::mutex> lock(heartbeatMutex_);
        last = lastHeartbeat_;
    }
    return std::chrono::milliseconds(platform::elapsedMilliseconds(last, timings_.clock()));
}

void UartObserver::joinThreads() {
    if (linkThread_.joinable()) {
        linkThread_.join();
    }
    if (readerThread_.joinable()) {
        readerThread_.join();
    }
}

}  // namespace quorvane

#include "serial/uart_observer.h"

#include <algorithm>
#include <chrono>

#include "platform/sleep.h"
#include "protocol/command_table.h"
#include "serial/serial_port.h"

namespace quorvane {
namespace {

constexpr std::int32_t kReadCapacity = 1024;
constexpr int kProbeAttempts = 3;
constexpr std::uint8_t kEightDataBits = 8;

}  // namespace

UartObserver::UartObserver(int port, int baudRate, const LinkTimings& timings)
    : UartObserver(serialPortName(port), baudRate, timings) {}

UartObserver::UartObserver(const std::string& deviceName, int baudRate, const LinkTimings& timings)
    : timings(timings),
      portName(deviceName),
      baudRate(baudRate),
      serialPort(std::make_unique<SerialPort>(timings.serial)) {}

UartObserver::~UartObserver() {
    stop();
    joinThreads();
}

void UartObserver::setListener(IUartObserverListener* newListener) {
    listener.reset(newListener);
}

void UartObserver::setDiagnostics(std::unique_ptr<ILinkDiagnostics> newDiagnostics) {
    diagnostics = std::move(newDiagnostics);
}

bool UartObserver::start() {
    if (running || linkState != Closed) {
        return false;
    }
    joinThreads();
    serialPort->resumeReads();
    running = true;
    linkThread = std::thread(&UartObserver::linkLoop, this);
    readerThread = std::thread(&UartObserver::readLoop, this);
    return true;
}

// The reader may be inside a read that would otherwise wait for the device's
// next bytes for up to the port's total time-out.
void UartObserver::stop() {
    running = false;
    serialPort->cancelReads();
    { std::lock_guard<std::mutex> lock(wakeMutex); }
    wakeCondition.notify_all();
    stopCondition.notify_all();
}

bool UartObserver::send(const UartRequest& request) {
    // A stopped link that is still up carries requests until the link thread has closed the port.
    if (!running && linkState != Connected) {
        return false;
    }
    const auto length = static_cast<std::int32_t>(request.line.size());
    if (serialPort->write(request.line.data(), length) < 1) {
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(pendingMutex);
        pending.push_back(request);
        publishPendingSize();
    }
    wakeReader();
    return true;
}

LinkState UartObserver::state() const {
    return static_cast<LinkState>(linkState.load());
}

std::size_t UartObserver::pendingCount() const {
    return pendingSize;
}

void UartObserver::linkLoop() {
    while (running) {
        runStep();
        pauseWhileRunning(timings.stepPause);
    }
    closePort();
}

void UartObserver::runStep() {
    switch (linkState.load()) {
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
    if (serialPort->open(portName, static_cast<std::uint32_t>(baudRate), kNoParity, kEightDataBits, kOneStopBit)) {
        if (reportedProblem == LinkProblem::PortUnavailable) {
            endProblem();
        }
        linkState = Opened;
        return;
    }
    const OpenError& error = serialPort->lastOpenError();
    if (beginProblem(LinkProblem::PortUnavailable, error.kind)) {
        diagnostics->portUnavailable(portName, error);
    }
}

void UartObserver::probe() {
    linkState = Probing;
    const UartRequest heartbeat = makeRequest(HEART_BEAT, "");
    bool sent = false;
    for (int attempt = 0; attempt < kProbeAttempts && !sent; ++attempt) {
        sent = send(heartbeat);
        stampHeartbeat();
        if (!sent && !pauseWhileRunning(timings.writeRetryPause)) {
            break;
        }
    }
    if (!sent) {
        linkState = Closing;
    }
}

void UartObserver::awaitProbeAnswer() {
    while (running && linkState == Probing) {
        if (sinceHeartbeat() > timings.probeTimeout) {
            int probing = Probing;
            if (linkState.compare_exchange_strong(probing, Closing) && beginProblem(LinkProblem::DeviceSilent)) {
                diagnostics->deviceSilent(portName);
            }
            return;
        }
        pauseWhileRunning(timings.probePoll);
    }
}

void UartObserver::keepAlive() {
    endProblem();
    if (listener) {
        listener->onConnected();
    }
    const UartRequest heartbeat = makeRequest(HEART_BEAT, "");
    while (pauseWhileRunning(timings.heartbeatPeriod)) {
        send(heartbeat);
        if (sinceHeartbeat() > timings.lossTimeout) {
            linkState = Lost;
            return;
        }
    }
}

void UartObserver::reportLoss() {
    if (listener) {
        listener->onDisconnected();
    }
    if (beginProblem(LinkProblem::LinkLost)) {
        diagnostics->linkLost(portName);
    }
    linkState = Closing;
}

// Heart-beats sent on this port can no longer be answered once it is closed;
// the next probe sends a fresh one. Dropping them keeps the pending list from
// growing with every probe of a silent device.
void UartObserver::closePort() {
    serialPort->close();
    dropHeartbeats();
    linkState = Closed;
}

bool UartObserver::pauseWhileRunning(std::chrono::milliseconds pause) {
    std::unique_lock<std::mutex> lock(wakeMutex);
    stopCondition.wait_for(lock, pause, [this] { return !running; });
    return running;
}

// True when the problem is new and someone listens for it.
bool UartObserver::beginProblem(LinkProblem problem, OpenFailure failure) {
    if (problem == reportedProblem && failure == reportedFailure) {
        return false;
    }
    reportedProblem = problem;
    reportedFailure = failure;
    return diagnostics != nullptr;
}

void UartObserver::endProblem() {
    reportedProblem = LinkProblem::None;
    reportedFailure = OpenFailure::None;
}

void UartObserver::readLoop() {
    std::vector<char> buffer(kReadCapacity + 1);
    while (awaitPending()) {
        const std::int32_t count = serialPort->read(buffer.data(), kReadCapacity);
        if (count > 0) {
            buffer[static_cast<std::size_t>(count)] = '\0';
            const std::string chunk(buffer.data());
            walkPending(&chunk);
        } else {
            walkPending(nullptr);
            platform::sleepMilliseconds(static_cast<unsigned>(timings.idleReadPause.count()));
        }
    }
    linkState = Closed;
}

// The size is published before the wait is woken (wakeReader), and the wait
// tests it under wakeMutex, so a request appended between the test and the
// wait still wakes it.
bool UartObserver::awaitPending() {
    std::unique_lock<std::mutex> lock(wakeMutex);
    wakeCondition.wait(lock, [this] { return !running || pendingSize > 0; });
    return running;
}

// Offers the chunk read (none after an empty read) to every waiting request,
// oldest first, settling the ones it completes and reporting the expired.
void UartObserver::walkPending(const std::string* chunk) {
    std::lock_guard<std::mutex> lock(pendingMutex);
    for (auto entry = pending.begin(); entry != pending.end();) {
        if (chunk != nullptr && entry->feed(*chunk)) {
            settle(*entry);
            entry = pending.erase(entry);
        } else if (hasExpired(*entry)) {
            reportExpiry(*entry);
            entry = pending.erase(entry);
        } else {
            ++entry;
        }
    }
    publishPendingSize();
}

void UartObserver::settle(const UartRequest& request) {
    if (request.type == HEART_BEAT) {
        settleHeartbeat();
    } else if (listener) {
        listener->onResponse(request.type, true, request.ackPayload());
    }
}

// Only a probe's answer brings the link up. An answer that a reader which
// fell behind takes in after the link thread has given the link up is too
// late: the loss is reported and the port reopened first, so the listener
// never hears onConnected twice in a row.
void UartObserver::settleHeartbeat() {
    int probing = Probing;
    linkState.compare_exchange_strong(probing, Connected);
    stampHeartbeat();
}

// Heart-beats never expire here: the link thread watches their answers.
bool UartObserver::hasExpired(const UartRequest& request) const {
    return request.type != HEART_BEAT && request.isTimedOut(timings.clock());
}

void UartObserver::reportExpiry(const UartRequest& request) {
    if (listener) {
        listener->onResponse(request.type, false, std::string());
    }
}

void UartObserver::dropHeartbeats() {
    std::lock_guard<std::mutex> lock(pendingMutex);
    pending.erase(std::remove_if(pending.begin(), pending.end(),
                                 [](const UartRequest& request) { return request.type == HEART_BEAT; }),
                  pending.end());
    publishPendingSize();
}

void UartObserver::publishPendingSize() {
    pendingSize = pending.size();
}

void UartObserver::wakeReader() {
    { std::lock_guard<std::mutex> lock(wakeMutex); }
    wakeCondition.notify_one();
}

void UartObserver::stampHeartbeat() {
    const platform::FtimeStamp now = timings.clock();
    std::lock_guard<std::mutex> lock(heartbeatMutex);
    lastHeartbeat = now;
}

std::chrono::milliseconds UartObserver::sinceHeartbeat() const {
    platform::FtimeStamp last;
    {
        std::lock_guard<std::mutex> lock(heartbeatMutex);
        last = lastHeartbeat;
    }
    return std::chrono::milliseconds(platform::elapsedMilliseconds(last, timings.clock()));
}

void UartObserver::joinThreads() {
    if (linkThread.joinable()) {
        linkThread.join();
    }
    if (readerThread.joinable()) {
        readerThread.join();
    }
}

}  // namespace quorvane

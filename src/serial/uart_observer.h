#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/wall_clock.h"
#include "protocol/uart_request.h"
#include "serial/link_diagnostics.h"
#include "serial/serial_device.h"

namespace quorvane {

class SerialPort;

// Receives the serial link's events. onResponse runs on the reader thread with
// the observer's pending-list lock held, so it must never call send itself.
class IUartObserverListener {
public:
    virtual void onConnected() = 0;
    virtual void onResponse(int command, bool ok, const std::string& body) = 0;
    virtual void onDisconnected() = 0;
    virtual ~IUartObserverListener() = default;
};

enum LinkState : int {
    Closed = 0,
    Opened = 1,
    Probing = 2,
    Connected = 3,
    Lost = 4,
    Closing = 5,
};

// Reads the time on which the link measures its patience: how old the last
// heart-beat is, and whether a request has expired.
using LinkClock = std::function<platform::FtimeStamp()>;

// The link's pace and patience, and the clock the patience is measured on.
// The defaults are the device's and the wall clock; tests shrink the pauses
// and move a clock of their own past the time-outs.
struct LinkTimings {
    std::chrono::milliseconds stepPause{200};
    std::chrono::milliseconds probePoll{50};
    std::chrono::milliseconds heartbeatPeriod{500};
    std::chrono::milliseconds idleReadPause{10};
    std::chrono::milliseconds writeRetryPause{10};
    std::chrono::milliseconds probeTimeout{5000};
    std::chrono::milliseconds lossTimeout{10000};
    SerialTimeouts serial;
    LinkClock clock = platform::wallClockNow;
};

// Keeps the serial link to the device alive on a link thread and a reader
// thread, and turns the device's acknowledgements into listener calls.
class UartObserver {
public:
    // Port n is opened under serialPortName(n).
    UartObserver(int port, int baudRate, const LinkTimings& timings = LinkTimings());
    // A device path given as it is ("/dev/ttyUSB0").
    UartObserver(const std::string& deviceName, int baudRate, const LinkTimings& timings = LinkTimings());
    // Stops the link and waits for both threads; call it on none of them.
    ~UartObserver();

    UartObserver(const UartObserver&) = delete;
    UartObserver& operator=(const UartObserver&) = delete;

    // Takes ownership; call before start.
    void setListener(IUartObserverListener* listener);
    // Call before start.
    void setDiagnostics(std::unique_ptr<ILinkDiagnostics> diagnostics);
    bool start();
    // Asks both threads to leave, ends the reader's read in progress and
    // returns at once; callable from any thread, also from inside a listener
    // call.
    void stop();
    bool send(const UartRequest& request);

    LinkState state() const;
    std::size_t pendingCount() const;
    // Bytes the reader has taken in since the observer was built.
    std::size_t bytesReceived() const;

private:
    enum class LinkProblem { None, PortUnavailable, DeviceSilent, LinkLost };

    void linkLoop();
    void runStep();
    void openPort();
    void probe();
    void awaitProbeAnswer();
    void keepAlive();
    void reportLoss();
    void closePort();
    bool pauseWhileRunning(std::chrono::milliseconds pause);
    bool beginProblem(LinkProblem problem, OpenFailure failure = OpenFailure::None);
    void endProblem();

    void readLoop();
    bool awaitPending();
    void walkPending(const std::string* chunk);
    void settle(const UartRequest& request);
    void settleHeartbeat();
    bool hasExpired(const UartRequest& request) const;
    void reportExpiry(const UartRequest& request);
    void dropHeartbeats();
    bool heartbeatPending() const;
    void publishPendingSize();
    void wakeReader();

    void stampHeartbeat();
    void stampReceived(std::int32_t count);
    std::chrono::milliseconds sinceHeartbeat() const;
    std::chrono::milliseconds sinceHeard() const;
    void joinThreads();

    const LinkTimings timings_;
    const std::string portName_;
    const int baudRate_;
    std::atomic<bool> running_{false};
    const std::unique_ptr<SerialPort> serialPort_;
    std::atomic<int> linkState_{Closed};
    std::vector<UartRequest> pending_;
    std::atomic<std::size_t> pendingSize_{0};
    std::mutex pendingMutex_;
    std::mutex wakeMutex_;
    std::condition_variable wakeCondition_;
    std::condition_variable stopCondition_;
    std::unique_ptr<IUartObserverListener> listener_;
    std::unique_ptr<ILinkDiagnostics> diagnostics_;
    mutable std::mutex heartbeatMutex_;
    platform::FtimeStamp lastHeartbeat_;
    platform::FtimeStamp lastReceived_;
    std::atomic<std::size_t> bytesReceived_{0};
    std::atomic<std::size_t> readsDone_{0};
    LinkProblem reportedProblem_ = LinkProblem::None;
    OpenFailure reportedFailure_ = OpenFailure::None;
    std::thread linkThread_;
    std::thread readerThread_;
};

}  // namespace quorvane

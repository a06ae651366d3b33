#pragma once

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/wall_clock.h"
#include "protocol/uart_request.h"

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

// Keeps the serial link to the device alive on a link thread and a reader
// thread, and turns the device's acknowledgements into listener calls.
class UartObserver {
public:
    UartObserver(int port, int baudRate);
    ~UartObserver();

    UartObserver(const UartObserver&) = delete;
    UartObserver& operator=(const UartObserver&) = delete;

    // Takes ownership; call before start.
    void setListener(IUartObserverListener* listener);
    bool start();
    void stop();
    bool send(const UartRequest& request);
};

}  // namespace quorvane

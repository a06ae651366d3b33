#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "scripted_device.h"
#include "serial/link_diagnostics.h"
#include "serial/uart_observer.h"

namespace quorvane {
namespace testing {

struct LinkEvent {
    enum Kind { Connected, Response, Disconnected };
    Kind kind;
    int command;
    bool ok;
    std::string body;
    LinkState stateSeen;
    Clock::time_point at;
};

// What a listener heard, shared between the listener (owned by the observer)
// and the test.
class LinkLog {
public:
    void add(LinkEvent event);
    std::vector<LinkEvent> events() const;
    std::size_t count(LinkEvent::Kind kind) const;
    bool waitFor(LinkEvent::Kind kind, std::size_t count, milliseconds timeout) const;

    std::atomic<UartObserver*> observer{nullptr};
    // Runs inside onResponse, on the reader thread.
    std::function<void()> duringResponse;

private:
    mutable std::mutex mutex_;
    std::vector<LinkEvent> events_;
};

class RecordingListener : public IUartObserverListener {
public:
    explicit RecordingListener(std::shared_ptr<LinkLog> log) : log_(std::move(log)) {}
    void onConnected() override;
    void onResponse(int command, bool ok, const std::string& body) override;
    void onDisconnected() override;

private:
    void record(LinkEvent::Kind kind, int command, bool ok, const std::string& body);

    std::shared_ptr<LinkLog> log_;
};

// Diagnostics as short words: "unavailable:missing COM7", "silent", "lost".
class DiagnosticsLog {
public:
    void add(const std::string& said);
    std::vector<std::string> said() const;
    std::size_t count(const std::string& said) const;

private:
    mutable std::mutex mutex_;
    std::vector<std::string> said_;
};

class RecordingDiagnostics : public ILinkDiagnostics {
public:
    explicit RecordingDiagnostics(std::shared_ptr<DiagnosticsLog> log) : log_(std::move(log)) {}
    void portUnavailable(const std::string& portName, const OpenError& error) override;
    void deviceSilent(const std::string& portName) override;
    void linkLost(const std::string& portName) override;

private:
    std::shared_ptr<DiagnosticsLog> log_;
};

}  // namespace testing
}  // namespace quorvane

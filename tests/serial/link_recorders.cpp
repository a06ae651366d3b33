#include "link_recorders.h"

#include <algorithm>

namespace quorvane {
namespace testing {

void LinkLog::add(LinkEvent event) {
    std::lock_guard<std::mutex> lock(mutex_);
    events_.push_back(std::move(event));
}

std::vector<LinkEvent> LinkLog::events() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_;
}

std::size_t LinkLog::count(LinkEvent::Kind kind) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<std::size_t>(
        std::count_if(events_.begin(), events_.end(), [kind](const LinkEvent& event) { return event.kind == kind; }));
}

bool LinkLog::waitFor(LinkEvent::Kind kind, std::size_t wanted, milliseconds timeout) const {
    return eventually([&] { return count(kind) >= wanted; }, timeout);
}

void RecordingListener::onConnected() {
    record(LinkEvent::Connected, -1, true, "");
}

void RecordingListener::onResponse(int command, bool ok, const std::string& body) {
    record(LinkEvent::Response, command, ok, body);
    if (log_->duringResponse) {
        log_->duringResponse();
    }
}

void RecordingListener::onDisconnected() {
    record(LinkEvent::Disconnected, -1, false, "");
}

void RecordingListener::record(LinkEvent::Kind kind, int command, bool ok, const std::string& body) {
    const UartObserver* observer = log_->observer;
    log_->add({kind, command, ok, body, observer != nullptr ? observer->state() : Closed, Clock::now()});
}

void DiagnosticsLog::add(const std::string& said) {
    std::lock_guard<std::mutex> lock(mutex_);
    said_.push_back(said);
}

std::vector<std::string> DiagnosticsLog::said() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return said_;
}

std::size_t DiagnosticsLog::count(const std::string& said) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return static_cast<std::size_t>(std::count(said_.begin(), said_.end(), said));
}

namespace {

const char* failureWord(OpenFailure kind) {
    switch (kind) {
        case OpenFailure::Missing:
            return "missing";
        case OpenFailure::Busy:
            return "busy";
        case OpenFailure::NoPermission:
            return "no-permission";
        default:
            return "other";
    }
}

}  // namespace

void RecordingDiagnostics::portUnavailable(const std::string& portName, const OpenError& error) {
    log_->add(std::string("unavailable:") + failureWord(error.kind) + " " + portName);
}

void RecordingDiagnostics::deviceSilent(const std::string&) {
    log_->add("silent");
}

void RecordingDiagnostics::linkLost(const std::string&) {
    log_->add("lost");
}

}  // namespace testing
}  // namespace quorvane

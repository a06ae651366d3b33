#pragma once

#include <string>

#include "serial/serial_device.h"

namespace quorvane {

// Hears why the serial link is not up. Each call comes once, on the link
// thread, when its situation begins; it comes again only after the situation
// has ended (the link came up, or another situation took its place).
class ILinkDiagnostics {
public:
    virtual void portUnavailable(const std::string& portName, const OpenError& error) = 0;
    virtual void deviceSilent(const std::string& portName) = 0;
    virtual void linkLost(const std::string& portName) = 0;
    virtual ~ILinkDiagnostics() = default;
};

// Writes each diagnostic as one line through the program's diagnostics
// writer, so standard output keeps only the run's own console lines.
class StderrLinkDiagnostics : public ILinkDiagnostics {
public:
    void portUnavailable(const std::string& portName, const OpenError& error) override;
    void deviceSilent(const std::string& portName) override;
    void linkLost(const std::string& portName) override;

private:
    void say(const std::string& message);
};

}  // namespace quorvane

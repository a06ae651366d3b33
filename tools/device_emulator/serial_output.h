#pragma once

#include <cstddef>
#include <deque>
#include <string>

#include "device_emulator/serial_port.h"
#include "device_emulator/timing.h"

namespace quorvane::emulator {

struct OutgoingPiece {
    std::string bytes;
    // Counted from the moment the piece before it was handed to the port.
    Milliseconds pauseBefore{0};
};

// What the device has yet to print, in order, with the pauses that split a
// frame over several of the host's burst reads.
class SerialOutput {
public:
    void push(OutgoingPiece piece, Clock::time_point now);
    void clear();
    bool empty() const { return pieces_.empty(); }
    // Bytes pushed and not yet written.
    std::size_t pendingBytes() const;

    // When the first piece may be written; far in the future when empty.
    Clock::time_point nextDue() const;

    // Writes everything that is due and that the port accepts now; returns
    // the result of the last write (Done when nothing was due).
    IoResult writeDue(SerialPort& port, Clock::time_point now);

private:
    std::deque<OutgoingPiece> pieces_;
    std::size_t frontWritten_ = 0;
    Clock::time_point frontDue_{};
};

}  // namespace quorvane::emulator

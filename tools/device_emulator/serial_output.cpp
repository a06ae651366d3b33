#include "device_emulator/serial_output.h"

namespace quorvane::emulator {

void SerialOutput::push(OutgoingPiece piece, Clock::time_point now) {
    if (pieces_.empty()) {
        frontDue_ = now + piece.pauseBefore;
    }
    pieces_.push_back(std::move(piece));
}

void SerialOutput::clear() {
    pieces_.clear();
    frontWritten_ = 0;
}

std::size_t SerialOutput::pendingBytes() const {
    std::size_t total = 0;
    for (const OutgoingPiece& piece : pieces_) {
        total += piece.bytes.size();
    }
    return total - frontWritten_;
}

Clock::time_point SerialOutput::nextDue() const {
    return pieces_.empty() ? Clock::time_point::max() : frontDue_;
}

IoResult SerialOutput::writeDue(SerialPort& port, Clock::time_point now) {
    while (!pieces_.empty() && now >= frontDue_) {
        const std::string& bytes = pieces_.front().bytes;
        if (frontWritten_ < bytes.size()) {
            const IoResult result = port.write(bytes.data() + frontWritten_, bytes.size() - frontWritten_);
            frontWritten_ += result.bytes;
            if (result.status != IoStatus::Done || frontWritten_ < bytes.size()) {
                return result;
            }
        }
        pieces_.pop_front();
        frontWritten_ = 0;
        if (!pieces_.empty()) {
            frontDue_ = now + pieces_.front().pauseBefore;
        }
    }
    return {};
}

}  // namespace quorvane::emulator

#include "serial/comm_settings_win32.h"

namespace quorvane {
namespace {

BYTE parityValue(std::uint8_t parity) {
    switch (parity) {
        case kOddParity:
            return ODDPARITY;
        case kEvenParity:
            return EVENPARITY;
        case kMarkParity:
            return MARKPARITY;
        default:
            return NOPARITY;
    }
}

BYTE stopBitsValue(std::uint8_t stopBits) {
    switch (stopBits) {
        case kTwoStopBits:
            return TWOSTOPBITS;
        case kOneAndAHalfStopBits:
            return ONE5STOPBITS;
        default:
            return ONESTOPBIT;
    }
}

}  // namespace

DCB lineRecord(const device::LineSettings& line) {
    DCB record{};
    record.DCBlength = sizeof(DCB);
    // Windows knows no other mode, and some USB serial drivers refuse FALSE.
    record.fBinary = TRUE;
    record.BaudRate = line.baudRate;
    record.ByteSize = line.byteSize;
    record.Parity = parityValue(line.parity);
    record.StopBits = stopBitsValue(line.stopBits);
    return record;
}

COMMTIMEOUTS commTimeouts(const SerialTimeouts& timeouts) {
    COMMTIMEOUTS record{};
    record.ReadIntervalTimeout = timeouts.readIntervalMs;
    record.ReadTotalTimeoutMultiplier = timeouts.readTotalMultiplierMs;
    record.ReadTotalTimeoutConstant = timeouts.readTotalConstantMs;
    record.WriteTotalTimeoutMultiplier = timeouts.writeTotalMultiplierMs;
    record.WriteTotalTimeoutConstant = timeouts.writeTotalConstantMs;
    return record;
}

}  // namespace quorvane

#pragma once

#include <windows.h>

#include "serial/serial_device.h"

namespace quorvane {

// The line record built from zero rather than read from the port: binary
// mode, every other flag off (no flow control, DTR and RTS disabled), and the
// four line values.
DCB lineRecord(const device::LineSettings& line);

COMMTIMEOUTS commTimeouts(const SerialTimeouts& timeouts);

}  // namespace quorvane

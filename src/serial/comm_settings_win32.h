#pragma once

#include <windows.h>

#include "serial/serial_device.h"

namespace quorvane {

// The line record built from zero rather than read from the port: every flag
// off (no flow control, DTR and RTS disabled), only the four line values set.
DCB lineRecord(const device::LineSettings& line);

COMMTIMEOUTS commTimeouts(const SerialTimeouts& timeouts);

}  // namespace quorvane

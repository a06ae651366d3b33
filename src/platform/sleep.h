#pragma once

namespace quorvane::platform {

// The Windows Sleep: the calling thread pauses for at least `milliseconds`.
void sleepMilliseconds(unsigned milliseconds);

}  // namespace quorvane::platform

#pragma once

namespace platform {

// The Windows Sleep: the calling thread pauses for at least `milliseconds`.
void sleepMilliseconds(unsigned milliseconds);

}  // namespace platform

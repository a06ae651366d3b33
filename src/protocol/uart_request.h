#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/wall_clock.h"

// One request to the device, from the moment it is built until its
// acknowledgement frame arrives or its time-out expires. Copies share
// createdAt, so the time-out runs from construction, not from the write.
struct UartRequest {
    UartRequest(std::int32_t type, std::int32_t timeoutMs, std::string line, std::string ackPattern,
                std::string ackEndPattern);

    // True once timeoutMs milliseconds have passed since createdAt.
    bool isTimedOut() const;
    bool isTimedOut(const quorvane::platform::FtimeStamp& now) const;

    // Offers one received chunk; returns whether the acknowledgement frame has
    // arrived. The frame counts only when both of its tags lie within the last
    // three chunks.
    bool feed(const std::string& chunk);

    // The trimmed text between the first opening tag and the closing tag after
    // it in `response`; empty when there is none. Never throws.
    std::string ackPayload() const;

    std::int32_t type;
    std::int32_t timeoutMs;
    std::string line;
    std::string ackPattern;
    std::string ackEndPattern;
    std::string response;
    bool completed = false;
    quorvane::platform::FtimeStamp createdAt;
    std::vector<std::string> recentChunks;
};

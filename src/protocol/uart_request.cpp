#include "protocol/uart_request.h"

#include <regex>

#include "protocol/command_table.h"
#include "protocol/pattern_cache.h"
#include "protocol/text.h"

namespace {

constexpr std::size_t kChunkWindow = 3;

std::string openingTag(const std::string& name) {
    return "<QRVN_ACK_" + name + ">";
}

std::string closingTag(const std::string& name) {
    return "<QRVN_ACK_" + name + "_END>";
}

}  // namespace

UartRequest::UartRequest(std::int32_t type, std::int32_t timeoutMs, std::string line, std::string ackPattern,
                         std::string ackEndPattern)
    : type(type),
      timeoutMs(timeoutMs),
      line(std::move(line)),
      ackPattern(std::move(ackPattern)),
      ackEndPattern(std::move(ackEndPattern)),
      createdAt(quorvane::platform::wallClockNow()) {}

bool UartRequest::isTimedOut() const {
    return isTimedOut(quorvane::platform::wallClockNow());
}

bool UartRequest::isTimedOut(const quorvane::platform::FtimeStamp& now) const {
    return static_cast<std::uint32_t>(timeoutMs) <= quorvane::platform::elapsedMilliseconds(createdAt, now);
}

bool UartRequest::feed(const std::string& chunk) {
    if (recentChunks.size() >= kChunkWindow) {
        recentChunks.erase(recentChunks.begin());
    }
    recentChunks.push_back(chunk);
    std::string joined;
    for (const std::string& recent : recentChunks) {
        joined += recent;
    }
    if (joined.empty()) {
        return false;
    }
    if (std::regex_match(joined, compiledPattern(ackPattern)) &&
        std::regex_match(joined, compiledPattern(ackEndPattern))) {
        completed = true;
        recentChunks.clear();
        response = std::move(joined);
    }
    return completed;
}

std::string UartRequest::ackPayload() const {
    try {
        const std::string name = ackTagName(static_cast<CommandType>(type));
        const std::string open = openingTag(name);
        const std::string end = closingTag(name);
        std::smatch match;
        if (!std::regex_search(response, match, compiledPattern(open + "[\\s\\S]*?" + end))) {
            return {};
        }
        const std::string matched = match.str(0);
        const auto endAt = matched.find(end);
        if (endAt == std::string::npos) {
            return {};
        }
        std::string payload = matched.substr(open.size(), endAt - open.size());
        return trim(payload);
    } catch (...) {
        return {};
    }
}

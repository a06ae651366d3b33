// Acknowledgement matching as the reader thread does it: every 1024-byte chunk
// is offered to a pending request, and the payload is taken once the frame is
// complete. The shipped code compiles each pattern text once per process; the
// second benchmark compiles the patterns on every call (same matcher options),
// for comparison.
#include <benchmark/benchmark.h>

#include <regex>
#include <string>
#include <vector>

#include "protocol/command_table.h"
#include "protocol/pattern_cache.h"
#include "protocol/text.h"

namespace {

constexpr std::size_t kChunkSize = 1024;

// Three chunks of log noise; the frame's tags sit in the first and the last,
// so every request sees two non-completing chunks, then completes.
std::vector<std::string> frameChunks() {
    const std::string open = "<QRVN_ACK_WIFI_CON>";
    const std::string close = "<QRVN_ACK_WIFI_CON_END>";
    std::string first(kChunkSize - open.size(), 'n');
    first += open;
    std::string second = "{\"result\":1,\"ip\":\"192.168.1.20\"}";
    second.resize(kChunkSize, ' ');
    std::string third = close;
    third.resize(kChunkSize, 'n');
    return {first, second, third};
}

bool feedCompilingEveryCall(UartRequest& request, const std::string& chunk) {
    if (request.recentChunks.size() >= 3) {
        request.recentChunks.erase(request.recentChunks.begin());
    }
    request.recentChunks.push_back(chunk);
    std::string joined;
    for (const std::string& recent : request.recentChunks) {
        joined += recent;
    }
    if (joined.empty()) {
        return false;
    }
    if (std::regex_match(joined, std::regex(request.ackPattern, kPatternSyntax)) &&
        std::regex_match(joined, std::regex(request.ackEndPattern, kPatternSyntax))) {
        request.completed = true;
        request.recentChunks.clear();
        request.response = joined;
    }
    return request.completed;
}

std::string payloadCompilingEveryCall(const UartRequest& request) {
    const std::string open = "<QRVN_ACK_WIFI_CON>";
    const std::string end = "<QRVN_ACK_WIFI_CON_END>";
    std::smatch match;
    const std::regex pattern(open + "[\\s\\S]*?" + end, kPatternSyntax);
    if (!std::regex_search(request.response, match, pattern)) {
        return {};
    }
    const std::string matched = match.str(0);
    std::string payload = matched.substr(open.size(), matched.find(end) - open.size());
    return trim(payload);
}

void BM_FeedAndPayload_Shipped(benchmark::State& state) {
    const std::vector<std::string> chunks = frameChunks();
    for (auto _ : state) {
        UartRequest request = makeRequest(WIFI_CONNECT, "net pass");
        for (const std::string& chunk : chunks) {
            benchmark::DoNotOptimize(request.feed(chunk));
        }
        benchmark::DoNotOptimize(request.ackPayload());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * chunks.size() * kChunkSize));
}
BENCHMARK(BM_FeedAndPayload_Shipped);

void BM_FeedAndPayload_CompiledEveryCall(benchmark::State& state) {
    const std::vector<std::string> chunks = frameChunks();
    for (auto _ : state) {
        UartRequest request = makeRequest(WIFI_CONNECT, "net pass");
        for (const std::string& chunk : chunks) {
            benchmark::DoNotOptimize(feedCompilingEveryCall(request, chunk));
        }
        benchmark::DoNotOptimize(payloadCompilingEveryCall(request));
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * chunks.size() * kChunkSize));
}
BENCHMARK(BM_FeedAndPayload_CompiledEveryCall);

}  // namespace

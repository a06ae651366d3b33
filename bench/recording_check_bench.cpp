// The recording check as the split drives it: blocks of 160 frames of noise
// (no two channels alike, as from a working device) fed one after another,
// one hour's worth of frames spread over the picture's columns. Reports the
// time per frame; the split of one hour of audio does this 57.6 million times.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include "recording/recording_check.h"

namespace {

constexpr std::size_t kBlockFrames = 160;
constexpr std::size_t kBlocks = 1000;
constexpr std::uint64_t kHourFrames = 3600ull * 16000;

std::vector<char> noise(std::size_t bytes) {
    std::vector<char> block(bytes);
    unsigned state = 12345;
    for (char& byte : block) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<char>(state >> 16);
    }
    return block;
}

void RecordingCheckPerFrame(benchmark::State& state) {
    const std::vector<char> recording = noise(kBlocks * kBlockFrames * 8);
    quorvane::recording::RecordingCheck check(kHourFrames);
    for (auto _ : state) {
        for (std::size_t block = 0; block < kBlocks; ++block) {
            check.add(recording.data() + block * kBlockFrames * 8, kBlockFrames);
        }
    }
    benchmark::DoNotOptimize(check.finish());
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * kBlocks * kBlockFrames));
}
BENCHMARK(RecordingCheckPerFrame);

}  // namespace

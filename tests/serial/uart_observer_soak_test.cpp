// A long run of the link against a device that stays on the line but falls
// silent, then answers again, cycle after cycle, on shortened timings.
//
// On the device's own timings one such cycle takes at least 12 s: 10 s of
// silence before the link is given up, then closing, reopening and a probe
// whose answer the reader sees a second later. A day therefore holds at most
// 7200 cycles. The shortened timings make a cycle about a hundred times
// shorter; the default count keeps the test near two minutes, and
// QUORVANE_SOAK_CYCLES=7200 runs the full day.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "scripted_device.h"
#include "serial/uart_observer.h"

// The sanitizers' allocators hold freed blocks back for a while (AddressSanitizer
// up to 256 MB), so under them the process's size grows however flat the
// program's own use of memory is. Their own count of allocated bytes does not.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define QUORVANE_SANITIZER_HEAP 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define QUORVANE_SANITIZER_HEAP 1
#endif
#endif

#if defined(QUORVANE_SANITIZER_HEAP)
// Part of every sanitizer runtime; GCC ships no header that declares it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#else
#include <malloc.h>
#endif

namespace quorvane {
namespace testing {
namespace {

constexpr std::size_t kDefaultCycles = 1000;
// Each step of a cycle takes well under a second even on a busy machine; the
// patience only bounds how long a broken link is waited for.
constexpr milliseconds kPatience{30000};
// Heap, allocator caches and thread stacks settle during the first cycles;
// growth is measured from here on.
constexpr std::size_t kWarmUpCycles = 50;
// A working link adds nothing after warm-up; the slack covers allocator
// bookkeeping. A request kept for each heart-beat would add some 3 kB per
// cycle, a megabyte within the default count.
constexpr long kHeapSlackKb = 256;

LinkTimings soakTimings() {
    LinkTimings timings;
    timings.stepPause = milliseconds(5);
    timings.probePoll = milliseconds(5);
    timings.heartbeatPeriod = milliseconds(10);
    timings.idleReadPause = milliseconds(2);
    timings.writeRetryPause = milliseconds(2);
    timings.probeTimeout = milliseconds(250);
    timings.lossTimeout = milliseconds(60);
    timings.serial.readIntervalMs = 5;
    timings.serial.readTotalConstantMs = 40;
    return timings;
}

// After the last acknowledgement the link thread queues one heart-beat per
// period while the time since it, read in whole milliseconds, has not passed
// the loss time-out (the rounding allows one more), then the one that finds
// it passed. Every acknowledgement completes all heart-beats waiting when it
// is read, except one queued between the halves of an acknowledgement split
// over two reads; closing the port drops the rest.
std::size_t pendingBound(const LinkTimings& timings) {
    return timings.lossTimeout / timings.heartbeatPeriod + 4;
}

std::size_t soakCycles() {
    const char* configured = std::getenv("QUORVANE_SOAK_CYCLES");
    if (configured == nullptr || *configured == '\0') {
        return kDefaultCycles;
    }
    return static_cast<std::size_t>(std::strtoul(configured, nullptr, 10));
}

struct MemoryReading {
    long peakRssKb = 0;
    long rssKb = 0;
    long heapKb = 0;
};

#if defined(QUORVANE_SANITIZER_HEAP)
long heapInUseKb() {
    return static_cast<long>(__sanitizer_get_current_allocated_bytes() / 1024);
}
#else
// Large blocks come straight from mmap and are counted apart.
long heapInUseKb() {
    const struct mallinfo2 heap = mallinfo2();
    return static_cast<long>((heap.uordblks + heap.hblkhd) / 1024);
}
#endif

long statusFieldKb(const std::string& field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.compare(0, field.size() + 1, field + ":") == 0) {
            return std::strtol(line.c_str() + field.size() + 1, nullptr, 10);
        }
    }
    return -1;
}

MemoryReading readMemory() {
    return {statusFieldKb("VmHWM"), statusFieldKb("VmRSS"), heapInUseKb()};
}

// The link's events as they come, with the order checked on the way: up,
// down, up again, never the same twice in a row. Both calls come from the
// link thread. (A late acknowledgement may mark the link up again while its
// loss is being reported, so only onConnected has a state to check.)
struct CycleLog {
    std::atomic<std::size_t> connections{0};
    std::atomic<std::size_t> losses{0};
    std::atomic<std::size_t> responses{0};
    std::atomic<bool> outOfOrder{false};
    std::atomic<bool> wrongState{false};
    std::atomic<UartObserver*> observer{nullptr};
};

class CyclingListener : public IUartObserverListener {
public:
    explicit CyclingListener(std::shared_ptr<CycleLog> log) : log_(std::move(log)) {}

    void onConnected() override {
        noteOrder(log_->connections == log_->losses);
        const UartObserver* observer = log_->observer;
        if (observer != nullptr && observer->state() != Connected) {
            log_->wrongState = true;
        }
        ++log_->connections;
    }

    void onDisconnected() override {
        noteOrder(log_->connections == log_->losses + 1);
        ++log_->losses;
    }

    void onResponse(int, bool, const std::string&) override { ++log_->responses; }

private:
    void noteOrder(bool inOrder) {
        if (!inOrder) {
            log_->outOfOrder = true;
        }
    }

    std::shared_ptr<CycleLog> log_;
};

// Samples the observer's pending list every millisecond and keeps the
// largest size seen.
class PendingWatch {
public:
    explicit PendingWatch(const UartObserver& observer) : observer_(observer), thread_(&PendingWatch::run, this) {}
    ~PendingWatch() {
        running_ = false;
        thread_.join();
    }

    std::size_t largest() const { return largest_; }

private:
    void run() {
        while (running_) {
            largest_ = std::max(largest_.load(), observer_.pendingCount());
            std::this_thread::sleep_for(milliseconds(1));
        }
    }

    const UartObserver& observer_;
    std::atomic<std::size_t> largest_{0};
    std::atomic<bool> running_{true};
    std::thread thread_;
};

// As the listener saw it: onConnected came after the last onDisconnected.
bool linkIsUp(const CycleLog& log) {
    return log.connections == log.losses + 1;
}

// One cycle: once the link is up and has carried two heart-beats the device
// falls silent until the link is down, then answers again until it is back
// up. Waiting on the link's state rather than on fresh events keeps a cycle
// whole when the link happened to drop just before the silence (a starved
// reader on a busy machine). Returns what did not happen in time, or nothing.
std::string runCycle(ScriptedDevice& device, const CycleLog& log) {
    const std::size_t heard = device.heartbeatCount();
    if (!eventually([&] { return linkIsUp(log) && device.heartbeatCount() >= heard + 2; }, kPatience)) {
        return "the link did not come up and carry heart-beats";
    }
    device.answerHeartbeats(false);
    const bool lost = eventually([&] { return !linkIsUp(log); }, kPatience);
    device.answerHeartbeats(true);
    if (!lost) {
        return "the link to the silent device was not given up";
    }
    if (!eventually([&] { return linkIsUp(log); }, kPatience)) {
        return "the link did not come back once the device answered again";
    }
    return {};
}

void report(const char* when, const MemoryReading& memory) {
    std::printf("soak: %-13s peak RSS %6ld kB, RSS %6ld kB, heap in use %6ld kB\n", when, memory.peakRssKb,
                memory.rssKb, memory.heapKb);
}

TEST(UartObserverSoak, EveryRecoveryIsReportedAndNothingGrowsOverADayOfLinkCycles) {
    const std::size_t cycles = soakCycles();
    ASSERT_GT(cycles, kWarmUpCycles) << "QUORVANE_SOAK_CYCLES must exceed " << kWarmUpCycles;
    const LinkTimings timings = soakTimings();
    ScriptedDevice device;
    device.forgetHeartbeatTimes();
    auto log = std::make_shared<CycleLog>();
    std::unique_ptr<UartObserver> observer = device.transport().observer(timings);
    observer->setListener(new CyclingListener(log));
    log->observer = observer.get();
    ASSERT_TRUE(observer->start());
    PendingWatch pending(*observer);
    ASSERT_TRUE(eventually([&] { return log->connections >= 1; }, kPatience));
    const MemoryReading atStart = readMemory();
    MemoryReading afterWarmUp;
    for (std::size_t cycle = 1; cycle <= cycles; ++cycle) {
        ASSERT_EQ(runCycle(device, *log), "")
            << "cycle " << cycle << " of " << cycles << ": link state " << observer->state() << ", " << log->connections
            << " connections, " << log->losses << " losses";
        if (cycle == kWarmUpCycles) {
            afterWarmUp = readMemory();
        }
    }
    EXPECT_TRUE(eventually([&] { return linkIsUp(*log); }, kPatience));
    const MemoryReading atEnd = readMemory();
    report("at start", atStart);
    report("after warm-up", afterWarmUp);
    report("at end", atEnd);
    std::printf("soak: %zu cycles, %zu losses, %zu recoveries, at most %zu pending\n", cycles, log->losses.load(),
                log->connections.load() - 1, pending.largest());

    EXPECT_FALSE(log->outOfOrder) << "a loss without a recovery before it, or the reverse";
    EXPECT_FALSE(log->wrongState) << "onConnected while the link was not up";
    EXPECT_GE(log->losses, cycles);
    EXPECT_EQ(log->connections, log->losses + 1) << "every loss is followed by onConnected";
    EXPECT_EQ(log->responses, 0u);
    EXPECT_LE(pending.largest(), pendingBound(timings));
    EXPECT_LE(atEnd.heapKb - afterWarmUp.heapKb, kHeapSlackKb);
}

}  // namespace
}  // namespace testing
}  // namespace quorvane

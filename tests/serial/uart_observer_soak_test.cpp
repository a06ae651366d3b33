// A long run of the link against a device that stays on the line but falls
// silent, then answers again, cycle after cycle.
//
// On the device's own timings one such cycle takes at least 12 s: 10 s of
// silence before the link is given up, then closing, reopening and a probe
// whose answer the reader sees a second later. A day therefore holds at most
// 7200 cycles. Here the link keeps the device's patience but measures it on a
// manual clock that the test moves past the loss time-out, and its pauses are
// shortened, so a cycle takes about a tenth of a second however busy the
// machine is; the default count keeps the test near a minute and a half, and
// QUORVANE_SOAK_CYCLES=7200 runs the full day.
#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "manual_clock.h"
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
// The silent device's clock moves in steps shorter than the probe time-out:
// a step taken just after the loss was reported must not expire the probe
// that follows it.
constexpr milliseconds kClockStep{4000};
// The heart-beat just sent, whose answer the reader has not taken in yet.
constexpr std::size_t kSettledPending = 1;
// Heap, allocator caches and thread stacks settle during the first cycles;
// growth is measured from here on.
constexpr std::size_t kWarmUpCycles = 50;
// A working link adds nothing after warm-up; the slack covers allocator
// bookkeeping. A request kept for each heart-beat would add some 3 kB per
// cycle, a megabyte within the default count.
constexpr long kHeapSlackKb = 256;

// The device's patience (the defaults) on `clock`; only the pauses are real.
LinkTimings soakTimings(const ManualClock& clock) {
    LinkTimings timings;
    timings.stepPause = milliseconds(5);
    timings.probePoll = milliseconds(5);
    timings.heartbeatPeriod = milliseconds(10);
    timings.idleReadPause = milliseconds(2);
    timings.writeRetryPause = milliseconds(2);
    timings.serial.readIntervalMs = 5;
    timings.serial.readTotalConstantMs = 40;
    timings.clock = clock.reading();
    return timings;
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
// down, up again, never the same twice in a row, each in the link state it
// reports. Both calls come from the link thread.
//
// The device answers again from the moment the loss is reported, before the
// link thread reopens the port: the probe that follows is answered however
// late the test's thread runs, as the clock stands still while it waits.
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
    CyclingListener(std::shared_ptr<CycleLog> log, ScriptedDevice& device) : log_(std::move(log)), device_(device) {}

    void onConnected() override {
        noteOrder(log_->connections == log_->losses);
        noteState(Connected);
        ++log_->connections;
    }

    void onDisconnected() override {
        noteOrder(log_->connections == log_->losses + 1);
        noteState(Lost);
        device_.answerHeartbeats(true);
        ++log_->losses;
    }

    void onResponse(int, bool, const std::string&) override { ++log_->responses; }

private:
    void noteOrder(bool inOrder) {
        if (!inOrder) {
            log_->outOfOrder = true;
        }
    }

    void noteState(LinkState expected) {
        const UartObserver* observer = log_->observer;
        if (observer != nullptr && observer->state() != expected) {
            log_->wrongState = true;
        }
    }

    std::shared_ptr<CycleLog> log_;
    ScriptedDevice& device_;
};

// As the listener saw it: onConnected came after the last onDisconnected.
bool linkIsUp(const CycleLog& log) {
    return log.connections == log.losses + 1;
}

// The device, the link to it and the clock the link measures its patience on.
struct Soak {
    ScriptedDevice& device;
    const UartObserver& observer;
    ManualClock& clock;
    const CycleLog& log;
};

// Moves the clock one step at a time until the listener has heard of the
// loss. An answer the reader takes in late refreshes the link's last
// heart-beat, so one step past the loss time-out may not be enough.
bool moveClockUntilLost(const Soak& soak) {
    return eventually(
        [&] {
            if (!linkIsUp(soak.log)) {
                return true;
            }
            soak.clock.advance(kClockStep);
            return false;
        },
        kPatience);
}

// One cycle: once the link is up, has carried two heart-beats and has every
// answer taken in, the device falls silent and the clock moves until the link
// is down; the device answers again (see CyclingListener) until the link is
// back up. Returns what did not happen in time, or nothing.
std::string runCycle(const Soak& soak) {
    ScriptedDevice& device = soak.device;
    const std::size_t heard = device.heartbeatCount();
    if (!eventually([&] { return linkIsUp(soak.log) && device.heartbeatCount() >= heard + 2; }, kPatience)) {
        return "the link did not come up and carry heart-beats";
    }
    if (!eventually([&] { return soak.observer.pendingCount() <= kSettledPending; }, kPatience)) {
        return "answered heart-beats stayed in the pending list";
    }
    device.answerHeartbeats(false);
    if (!moveClockUntilLost(soak)) {
        return "the link to the silent device was not given up";
    }
    if (!eventually([&] { return linkIsUp(soak.log); }, kPatience)) {
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
    ManualClock clock;
    ScriptedDevice device;
    device.forgetHeartbeatTimes();
    auto log = std::make_shared<CycleLog>();
    std::unique_ptr<UartObserver> observer = device.transport().observer(soakTimings(clock));
    observer->setListener(new CyclingListener(log, device));
    log->observer = observer.get();
    ASSERT_TRUE(observer->start());
    ASSERT_TRUE(eventually([&] { return log->connections >= 1; }, kPatience));
    const Soak soak{device, *observer, clock, *log};
    const MemoryReading atStart = readMemory();
    MemoryReading afterWarmUp;
    for (std::size_t cycle = 1; cycle <= cycles; ++cycle) {
        ASSERT_EQ(runCycle(soak), "") << "cycle " << cycle << " of " << cycles << ": link state " << observer->state()
                                      << ", " << log->connections << " connections, " << log->losses << " losses";
        if (cycle == kWarmUpCycles) {
            afterWarmUp = readMemory();
        }
    }
    EXPECT_TRUE(eventually([&] { return linkIsUp(*log); }, kPatience));
    const MemoryReading atEnd = readMemory();
    report("at start", atStart);
    report("after warm-up", afterWarmUp);
    report("at end", atEnd);
    std::printf("soak: %zu cycles, %zu losses, %zu recoveries\n", cycles, log->losses.load(),
                log->connections.load() - 1);

    EXPECT_FALSE(log->outOfOrder) << "a loss without a recovery before it, or the reverse";
    EXPECT_FALSE(log->wrongState) << "onConnected while the link was not up, or onDisconnected while not lost";
    EXPECT_EQ(log->losses, cycles) << "the link is lost only when the clock passes the loss time-out";
    EXPECT_EQ(log->connections, log->losses + 1) << "every loss is followed by onConnected";
    EXPECT_EQ(log->responses, 0u);
    EXPECT_LE(atEnd.heapKb - afterWarmUp.heapKb, kHeapSlackKb);
}

}  // namespace
}  // namespace testing
}  // namespace quorvane

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

#include "upload/thread_pool.h"

namespace {

// The pool is destroyed with the items still queued and their futures
// dropped: every one of them must have run, in order, when that returns.
TEST(ThreadPool, ItemsAreTakenFirstInFirstOutAndAllRunBeforeDestructionEnds) {
    std::vector<int> order;
    {
        ThreadPool pool(1);
        for (int item = 0; item < 200; ++item) {
            pool.enqueue([&order, item] { order.push_back(item); });
        }
    }
    ASSERT_EQ(order.size(), 200u);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end()));
}

TEST(ThreadPool, FourWorkersRunTheFirstFourOfSixLongItemsAtOnce) {
    std::promise<void> open;
    const std::shared_future<void> gate = open.get_future().share();
    std::mutex mutex;
    std::vector<int> started;
    int running = 0;
    int mostAtOnce = 0;
    const auto startedSoFar = [&] {
        std::lock_guard<std::mutex> lock(mutex);
        return started;
    };
    {
        ThreadPool pool(4);
        for (int item = 1; item <= 6; ++item) {
            pool.enqueue([&, item] {
                {
                    std::lock_guard<std::mutex> lock(mutex);
                    started.push_back(item);
                    mostAtOnce = std::max(mostAtOnce, ++running);
                }
                gate.wait();
                std::lock_guard<std::mutex> lock(mutex);
                --running;
            });
        }
        for (int waited = 0; startedSoFar().size() < 4 && waited < 30000; ++waited) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        std::vector<int> first = startedSoFar();
        std::sort(first.begin(), first.end());
        EXPECT_EQ(first, (std::vector<int>{1, 2, 3, 4}));
        open.set_value();
    }
    EXPECT_EQ(started.size(), 6u);
    EXPECT_EQ(mostAtOnce, 4);
}

TEST(ThreadPool, FuturesCarryResultsAndExceptionsAndTheWorkerGoesOn) {
    ThreadPool pool(1);
    auto failing = pool.enqueue([]() -> int { throw std::logic_error("item failed"); });
    auto sum = pool.enqueue([](int a, int b) { return a + b; }, 40, 2);
    EXPECT_EQ(sum.get(), 42);
    EXPECT_THROW(failing.get(), std::logic_error);
}

TEST(ThreadPool, EnqueueWhileDrainingThrowsAndQueuesNothing) {
    std::atomic<int> queued{0};
    std::atomic<int> ran{0};
    std::string message;
    {
        ThreadPool pool(1);
        pool.enqueue([&] {
            for (;; std::this_thread::sleep_for(std::chrono::milliseconds(1))) {
                try {
                    pool.enqueue([&ran] { ++ran; });
                    ++queued;
                } catch (const std::runtime_error& error) {
                    message = error.what();
                    return;
                }
            }
        });
    }
    EXPECT_EQ(message, "enqueue on stopped ThreadPool");
    EXPECT_EQ(ran, queued);
}

TEST(ThreadPool, AWorkerThatCannotStartStopsTheOthersBeforeTheErrorLeaves) {
    std::atomic<int> loopsEnded{0};
    int started = 0;
    const auto startTwoThenFail = [&](std::function<void()> workerLoop) {
        if (++started == 3) {
            throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
        }
        return std::thread([&loopsEnded, workerLoop] {
            workerLoop();
            ++loopsEnded;
        });
    };
    EXPECT_THROW(ThreadPool(4, startTwoThenFail), std::system_error);
    EXPECT_EQ(loopsEnded, 2);
}

}  // namespace

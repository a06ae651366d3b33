#pragma once

#include <condition_variable>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <queue>
#include <stdexcept>
#include <thread>
#include <type_traits>
#include <utility>
#include <vector>

#include "platform/diagnostics.h"

// A fixed set of worker threads that run queued calls first in, first out.
// Destroying the pool runs every call still queued, then joins the workers.
class ThreadPool {
public:
    // Starts one thread for a worker loop; the pool hands it the loop to run.
    using WorkerStarter = std::function<std::thread(std::function<void()> workerLoop)>;

    // The workers say what they say where the thread that makes the pool
    // does: the upload's lines belong to its run.
    explicit ThreadPool(unsigned int threadCount)
        : ThreadPool(threadCount, [](std::function<void()> workerLoop) {
              return quorvane::platform::sayingThread(std::move(workerLoop));
          }) {}

    // When a worker cannot be started, the ones already running are stopped
    // and joined before the starter's exception leaves the constructor:
    // joinable threads must never be destroyed (that would terminate the
    // process).
    ThreadPool(unsigned int threadCount, const WorkerStarter& startWorker) {
        workerThreads_.reserve(threadCount);
        try {
            for (unsigned int i = 0; i < threadCount; ++i) {
                workerThreads_.push_back(startWorker([this] { runWorker(); }));
            }
        } catch (...) {
            stopAndJoin();
            throw;
        }
    }

    ~ThreadPool() { stopAndJoin(); }

    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;
    ThreadPool(ThreadPool&&) = delete;
    ThreadPool& operator=(ThreadPool&&) = delete;

    template <class Callable, class... Args>
    auto enqueue(Callable&& callable, Args&&... args) -> std::future<std::invoke_result_t<Callable, Args...>> {
        using Result = std::invoke_result_t<Callable, Args...>;
        auto task = std::make_shared<std::packaged_task<Result()>>(
            std::bind(std::forward<Callable>(callable), std::forward<Args>(args)...));
        std::future<Result> result = task->get_future();
        {
            std::lock_guard<std::mutex> lock(queueMutex_);
            if (stopping_) {
                throw std::runtime_error("enqueue on stopped ThreadPool");
            }
            taskQueue_.emplace([task] { (*task)(); });
        }
        queueCondition_.notify_one();
        return result;
    }

private:
    void runWorker() {
        for (;;) {
            std::function<void()> item;
            {
                std::unique_lock<std::mutex> lock(queueMutex_);
                queueCondition_.wait(lock, [this] { return stopping_ || !taskQueue_.empty(); });
                if (stopping_ && taskQueue_.empty()) {
                    return;
                }
                item = std::move(taskQueue_.front());
                taskQueue_.pop();
            }
            item();
        }
    }

    void stopAndJoin() {
        {
            std::lock_guard<std::mutex> lock(queueMutex_);
            stopping_ = true;
        }
        queueCondition_.notify_all();
        for (std::thread& worker : workerThreads_) {
            worker.join();
        }
    }

    std::vector<std::thread> workerThreads_;
    std::queue<std::function<void()>> taskQueue_;
    std::mutex queueMutex_;
    std::condition_variable queueCondition_;
    bool stopping_ = false;
};

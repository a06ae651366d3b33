#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

// How one run ends: once, as failed or not, from whichever part ends it (the
// Wi-Fi join, the recording server, the upload, an interruption). The parts
// below run/ are handed only `ender()`, a callback that shares this object,
// so that a thread still at work when the run returns (the process-wide
// interruption watcher) ends nothing that is gone.
class RunEnd : public std::enable_shared_from_this<RunEnd> {
public:
    // Ends the run, as failed when `failed` (a failure, once recorded, stays),
    // and wakes awaitEnd() at once.
    void finish(bool failed);

    bool failed() const;

    // Blocks until finish has been called.
    void awaitEnd() const;

    // finish, as the parts are handed it.
    std::function<void(bool failed)> ender();

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    bool finished_ = false;
    bool failed_ = false;
};

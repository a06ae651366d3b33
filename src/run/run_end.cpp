#include "run/run_end.h"

void RunEnd::finish(bool failed) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        failed_ = failed_ || failed;
        finished_ = true;
    }
    changed_.notify_all();
}

bool RunEnd::failed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return failed_;
}

void RunEnd::awaitEnd() const {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return finished_; });
}

std::function<void(bool failed)> RunEnd::ender() {
    std::shared_ptr<RunEnd> self = shared_from_this();
    return [self](bool failed) { self->finish(failed); };
}

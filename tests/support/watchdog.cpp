#include "watchdog.h"

#include <cstdio>
#include <cstdlib>

namespace quenlex::test {

Watchdog::Watchdog(std::chrono::milliseconds limit, std::string what) : what_(std::move(what)) {
    thread_ = std::thread([this, limit] {
        std::unique_lock<std::mutex> lock(mutex_);
        if (!done_.wait_for(lock, limit, [this] { return finished_; })) {
            std::fprintf(stderr, "\nWATCHDOG: still running after %lld ms: %s\n",
                         static_cast<long long>(limit.count()), what_.c_str());
            std::fflush(stderr);
            std::abort();
        }
    });
}

Watchdog::~Watchdog() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        finished_ = true;
    }
    done_.notify_one();
    thread_.join();
}

}  // namespace quenlex::test

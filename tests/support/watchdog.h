// Turns a hang into a failure: if the guarded scope does not end within its time, the
// process prints what it was doing and aborts (a test must never wait forever).
#ifndef QUENLEX_TEST_WATCHDOG_H
#define QUENLEX_TEST_WATCHDOG_H

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace quenlex::test {

class Watchdog {
  public:
    Watchdog(std::chrono::milliseconds limit, std::string what);
    ~Watchdog();
    Watchdog(const Watchdog &) = delete;
    Watchdog &operator=(const Watchdog &) = delete;

  private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool finished_ = false;
    std::string what_;
    std::thread thread_;
};

}  // namespace quenlex::test

#endif

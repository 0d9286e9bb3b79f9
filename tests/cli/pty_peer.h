// A pseudo-terminal for the CLI to open as its port; the test works the other end.
#ifndef QUENLEX_TESTS_PTY_PEER_H
#define QUENLEX_TESTS_PTY_PEER_H

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>

namespace quenlex_test {

class PtyPeer {
  public:
    PtyPeer();  // the slave is kept open by the peer too (raw), as a device's line would be
    ~PtyPeer();
    PtyPeer(const PtyPeer &) = delete;
    PtyPeer &operator=(const PtyPeer &) = delete;

    const std::string &port() const { return port_; }

    void write(const std::string &bytes);

    // Reads from the master until `count` bytes are in or the time is up.
    std::string read(std::size_t count, std::chrono::milliseconds limit);

    // Runs `work` on a thread of its own until the peer goes or stop() is called; it gets
    // a flag to watch.
    void run(std::function<void(const std::atomic<bool> &stop)> work);
    void stop();

    // Hangs up: closes both of the peer's ends, as a device that goes away.
    void hang_up();

  private:
    int master_ = -1;
    int keeper_ = -1;
    std::string port_;
    std::atomic<bool> stop_{false};
    std::thread worker_;
};

}  // namespace quenlex_test

#endif

// The far end of a serial line for tests: a pseudo-terminal whose slave path the library
// opens and whose master the test drives (send bytes, read what the library wrote, pause,
// hang up). The fixture keeps a slave descriptor of its own, so the line stays up between
// the library's opens and the test can see what is queued for the library.
#ifndef QUENLEX_TEST_PTY_PEER_H
#define QUENLEX_TEST_PTY_PEER_H

#include <chrono>
#include <string>
#include <thread>

namespace quenlex::test {

class PtyPeer {
  public:
    PtyPeer();  // aborts when no pseudo-terminal can be had
    ~PtyPeer();
    PtyPeer(const PtyPeer &) = delete;
    PtyPeer &operator=(const PtyPeer &) = delete;

    const std::string &path() const { return path_; }
    int master_fd() const { return master_; }
    bool hung_up() const { return master_ < 0; }

    // Writes the bytes to the line (towards the library).
    void send(const std::string &bytes);
    // Sends and waits (up to 5 s) until they are queued on the library's side, so a read
    // that follows finds them there.
    void send_settled(const std::string &bytes);
    // Bytes queued on the library's side, not yet read.
    int queued_for_device() const;
    // Waits (up to `timeout_ms`) until `count` bytes are queued there; returns the count then.
    int wait_queued(int count, int timeout_ms);
    // Fills the line towards the peer until it takes no more (the peer not reading), so a
    // write of the library has to wait for room; returns the bytes it took.
    std::size_t fill_towards_peer();

    // Reads what the library sent: up to `count` bytes, waiting at most `timeout_ms` in all.
    std::string receive(std::size_t count, int timeout_ms);
    // Everything that arrives within `quiet_ms` of silence.
    std::string receive_all(int quiet_ms = 20);
    // Everything already there, at once.
    std::string drain();

    // Closes the master (and the fixture's slave descriptor): the device is gone.
    void hang_up();
    // Hangs up from another thread after `delay`; the thread is joined by join() or the
    // destructor.
    void hang_up_after(std::chrono::milliseconds delay);
    void join();

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
    std::thread hanger_;
};

}  // namespace quenlex::test

#endif

// The pseudo-terminal pair a run measures on: contenders open the slave by its name, the
// benchmark plays the device on the master.
#ifndef QUENLEX_BENCH_PTY_PAIR_H
#define QUENLEX_BENCH_PTY_PAIR_H

#include <string>

namespace bench {

class PtyPair {
  public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair &) = delete;
    PtyPair &operator=(const PtyPair &) = delete;

    bool ok() const { return master_ >= 0; }
    int master() const { return master_; }
    const std::string &slave_path() const { return slave_path_; }

    // Sends all of `size` bytes to the contender, waiting up to 5 s for room each time;
    // false when there is none or on failure.
    bool send(const char *data, std::size_t size) const;
    // Receives exactly `size` bytes from the contender into `into`, waiting up to
    // `timeout_ms` for each piece; false when they do not come.
    bool receive(char *into, std::size_t size, int timeout_ms) const;

  private:
    int master_ = -1;
    // Held open (never read) so the master keeps working while contenders open and close
    // the slave one after another.
    int slave_ = -1;
    std::string slave_path_;
};

}  // namespace bench

#endif

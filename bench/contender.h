// A contender: one way of talking to a serial port that the benchmark measures, given as a
// set of callbacks over the contender's own state. A null callback means the contender has
// no such operation; the rows that need it are left out for it. Adding a contender means
// writing these callbacks and listing it in contenders.cpp.
#ifndef QUENLEX_BENCH_CONTENDER_H
#define QUENLEX_BENCH_CONTENDER_H

#include <cstddef>
#include <vector>

namespace bench {

struct Contender {
    const char *name;
    void *state;

    // Opens the device at `path` for raw 8N1 transfer at `baud`; false on failure.
    bool (*open)(void *state, const char *path, int baud);
    void (*close)(void *state);

    // Sends `size` bytes; `data[size]` is a zero byte and no byte before it is. False on
    // failure (including a send cut short).
    bool (*write)(void *state, const char *data, std::size_t size);

    // One burst read into `buffer` of `capacity` bytes, as the contender reads a reply:
    // returns the count received (0 when nothing came), or -1 on failure. The throughput
    // rows need it to return once `capacity` - `burst_overhead` bytes are in.
    long (*read_burst)(void *state, char *buffer, std::size_t capacity);
    std::size_t burst_overhead;

    // The time-out read_burst is configured to wait, in ms, when nothing arrives and when
    // one byte is already waiting (then it waits for the rest of a burst that never comes).
    double (*burst_timeout_ms)(void *state, std::size_t capacity, bool one_byte_waiting);

    // Blocks until one byte arrives; returns it (0 to 255), or -1 on failure.
    int (*read_byte)(void *state);
};

// Every contender of this build, the plain system-call floor first.
std::vector<Contender> all_contenders();

}  // namespace bench

#endif

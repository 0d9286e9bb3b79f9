// A contender: one way of talking to a serial port that the benchmark measures, given as a
// set of callbacks over the contender's own state. A null callback means the contender has
// no such operation; the rows that need it are left out for it. Adding a contender means
// writing these callbacks and listing it in contenders.cpp.
#ifndef QUENLEX_BENCH_CONTENDER_H
#define QUENLEX_BENCH_CONTENDER_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace bench {

// A stretch of time on CLOCK_MONOTONIC (std::chrono::steady_clock), in nanoseconds, taken by
// the contender right around its own calls: a contender in a worker process measures there,
// so no pipe or process switch is ever counted as its time.
struct Span {
    std::int64_t start_ns = 0;
    std::int64_t end_ns = 0;
};

// The reads of the comparison (comparison_work.h gives their time-outs).
enum class ReadKind {
    idle,   // nothing will come: up to n bytes, ended by the time-out for a first byte
    burst,  // a short burst comes: up to n bytes, ended by the gap after its last byte
    reply,  // exactly n bytes come: the read returns once they are in
};

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

    // The comparison's operations (comparison.cpp), each on the port open() opened and
    // timed by the contender itself. A contender without them takes no part in it.

    // A read of `kind` with room for `n` bytes in `buffer` (which holds n + 1): the count
    // received, or -1 on failure.
    long (*timed_read)(void *state, ReadKind kind, char *buffer, std::size_t n, Span *span);
    // The contender's wait for one byte: the byte (0 to 255) or -1; `cpu_seconds` gets the
    // CPU time its process used meanwhile. A blocking read without time-out; or, with
    // `polling`, reads of 1 byte with quenlex's 5 ms time-out, one after the other, as
    // quenlex_readChar waits (quenlex waits that way in both cases).
    int (*timed_wait_byte)(void *state, bool polling, double *cpu_seconds, Span *span);
    // `chunks` writes of `chunk` payload bytes (comparison_work.h) each, with the write
    // time-out of one chunk; false on failure.
    bool (*send_stream)(void *state, std::size_t chunk, std::size_t chunks, Span *span);
    // Reads of `chunk` bytes until `chunks` x `chunk` bytes are in, each byte checked
    // against the payload; false on failure or a wrong byte.
    bool (*receive_stream)(void *state, std::size_t chunk, std::size_t chunks, Span *span);
    // `cycles` times: open `path` with the contender's line settings, time-outs and queues,
    // then close it. Called while the contender has no port open. False on failure.
    bool (*open_close_cycles)(void *state, const char *path, int baud, int cycles, Span *span);
    // What the contender is and which version, for the table; null for this build's library.
    const char *(*describe)(void *state);
};

// Every contender of this build, the plain system-call floor first.
std::vector<Contender> all_contenders();

}  // namespace bench

#endif

// The work every contender of the comparison does, in the terms quenlex sets for itself:
// its reads and writes run on fixed time-outs, and the others are configured to the same
// deadlines. The Python worker (pyserial_worker.py) is told these figures with each request.
#ifndef QUENLEX_BENCH_COMPARISON_WORK_H
#define QUENLEX_BENCH_COMPARISON_WORK_H

#include <time.h>

#include <cstddef>
#include <cstdint>

#include "contender.h"

namespace bench {

// quenlex's time-outs: 500 ms between bytes; 3 ms per byte asked for plus 2 ms in all, for
// reads and writes alike.
constexpr double kIntervalMs = 500;
constexpr double kPerByteMs = 3;
constexpr double kConstantMs = 2;

// quenlex_read waits for a first byte with a read of 1 (3 x 1 + 2 ms), then for the other
// n - 1 with their own total.
constexpr double kFirstByteMs = kPerByteMs * 1 + kConstantMs;

// A reply read gives up after this long, so a lost reply cannot stall the run.
constexpr double kReplyGiveUpMs = 1000;

struct ReadTimeouts {
    double total_ms;     // the whole read
    double interval_ms;  // a gap after a received byte that ends it; 0: none
};

// The deadlines of one read with room for n bytes. An idle read is quenlex_read's wait for
// a first byte; a burst read is both of quenlex_read's reads (the first byte's wait, then the
// rest's total) with the interval time-out.
inline ReadTimeouts timeouts_for(ReadKind kind, std::size_t n) {
    switch (kind) {
        case ReadKind::idle:
            return {kFirstByteMs, 0};
        case ReadKind::burst:
            return {kFirstByteMs + kPerByteMs * static_cast<double>(n - 1) + kConstantMs,
                    kIntervalMs};
        case ReadKind::reply:
            break;
    }
    return {kReplyGiveUpMs, 0};
}

// The write time-out of one write of n bytes.
inline double write_timeout_ms(std::size_t n) {
    return kPerByteMs * static_cast<double>(n) + kConstantMs;
}

// Byte i of the payload the throughput rows move: printable (string-based contenders can
// send it) and never zero. Every chunk is the same `chunk` bytes, payload_byte(0 .. chunk-1).
inline char payload_byte(std::size_t i) { return static_cast<char>('!' + (i * 7 + i / 94) % 94); }

inline std::int64_t now_ns() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

}  // namespace bench

#endif

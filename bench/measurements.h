// The measurements of one run, each on one contender over the shared pseudo-terminal.
#ifndef QUENLEX_BENCH_MEASUREMENTS_H
#define QUENLEX_BENCH_MEASUREMENTS_H

#include <cstddef>
#include <optional>
#include <vector>

#include "contender.h"
#include "pty_pair.h"

namespace bench {

struct Stats {
    double median;
    double p99;
    double max;
    std::size_t samples;
};

Stats stats_of(std::vector<double> samples);

// How far a burst read with `capacity` bytes of room runs past its configured time-out, in
// ms: with nothing arriving, or with one byte waiting and no more to come. Empty when the
// contender has no configured time-out or a read misbehaved.
std::optional<Stats> timeout_overshoot(const Contender &contender, const PtyPair &pty,
                                       bool one_byte_waiting, std::size_t capacity, int reps);

// The share of one core (0.01 = 1 %) the calling thread uses while read_byte waits
// `seconds` for a byte.
std::optional<double> waiting_cpu_share(const Contender &contender, const PtyPair &pty,
                                        double seconds);

// MB/s (10^6 bytes) of `chunks` bursts of `chunk` bytes each, checked byte for byte:
// from the contender to the device (write) or from the device to the contender (read_burst
// with room for `chunk` bytes plus the contender's overhead).
std::optional<double> send_rate(const Contender &contender, const PtyPair &pty, std::size_t chunk,
                                std::size_t chunks);
std::optional<double> receive_rate(const Contender &contender, const PtyPair &pty,
                                   std::size_t chunk, std::size_t chunks);

}  // namespace bench

#endif

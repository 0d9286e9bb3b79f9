// The comparison: quenlex, the system-call floor and the libraries a user would pick
// instead, each in a worker process of its own on a pseudo-terminal pair of its own, doing
// the same work in turns (A B C D, B C D A, ...) within one run.
#ifndef QUENLEX_BENCH_COMPARISON_H
#define QUENLEX_BENCH_COMPARISON_H

#include <cstddef>
#include <string>

namespace bench {

struct ComparisonSettings {
    int idle_reps;   // reads with nothing arriving, per read size
    int burst_reps;  // reads ended by the interval time-out (each takes 0.5 s or more)
    int reply_reps;  // 32-byte replies
    int cpu_reps;    // waits for a byte
    double cpu_wait_s;
    std::size_t chunk;  // bytes per write or read in the throughput rows
    std::size_t chunks;
    int stream_rounds;
    int cycles;  // open-configure-close cycles per round
    int cycle_rounds;
};

extern const ComparisonSettings kFullComparison;
extern const ComparisonSettings kSmokeComparison;

// Runs the comparison, prints its table and, when `csv_path` is not empty, writes it there
// as CSV (with the overshoot figures for the picture beside it, as <csv_path>.overshoot.dat).
// `self` is this program's path, which serves the in-process contenders as workers. False
// when a contender that is present failed a measurement; a contender whose library is
// missing is skipped with a note.
bool run_comparison(const ComparisonSettings &settings, const std::string &self,
                    const std::string &csv_path);

}  // namespace bench

#endif

// Medians, tails and the noise of a median, for the comparison's table.
#ifndef QUENLEX_BENCH_COMPARISON_STATS_H
#define QUENLEX_BENCH_COMPARISON_STATS_H

#include <cstddef>
#include <vector>

namespace bench {

struct Summary {
    std::size_t samples = 0;
    double median = 0;
    double tail = 0;  // p99 towards the worse side: the 99th percentile, or the 1st where
                      // higher is better
    // The median's 95 % confidence interval from order statistics (no assumption about the
    // distribution); with fewer than 6 samples it is the whole range.
    double low = 0;
    double high = 0;
};

Summary summarize(std::vector<double> samples, bool higher_is_better);

// Whether `a` is better than `b` by more than the noise: their intervals do not overlap
// (never with fewer than 5 samples on either side).
bool ahead_beyond_noise(const Summary &a, const Summary &b, bool higher_is_better);

}  // namespace bench

#endif

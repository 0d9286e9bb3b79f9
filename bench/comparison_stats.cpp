#include "comparison_stats.h"

#include <algorithm>
#include <cmath>

namespace bench {
namespace {

// P(X <= k) for X ~ Binomial(n, 1/2).
double binomial_half_cdf(std::size_t n, std::size_t k) {
    double term = std::pow(0.5, static_cast<double>(n));  // C(n, 0) / 2^n
    double sum = term;
    for (std::size_t i = 1; i <= k; ++i) {
        term *= static_cast<double>(n - i + 1) / static_cast<double>(i);
        sum += term;
    }
    return sum;
}

}  // namespace

Summary summarize(std::vector<double> samples, bool higher_is_better) {
    Summary s;
    s.samples = samples.size();
    if (samples.empty()) {
        return s;
    }
    std::sort(samples.begin(), samples.end());
    const std::size_t n = samples.size();
    s.median = n % 2 == 1 ? samples[n / 2] : (samples[n / 2 - 1] + samples[n / 2]) / 2;
    const std::size_t p99_rank = static_cast<std::size_t>(std::ceil(0.99 * static_cast<double>(n)));
    const std::size_t p01_rank = static_cast<std::size_t>(std::ceil(0.01 * static_cast<double>(n)));
    s.tail = higher_is_better ? samples[std::max<std::size_t>(p01_rank, 1) - 1]
                              : samples[std::max<std::size_t>(p99_rank, 1) - 1];
    // The interval [x(j), x(n+1-j)] (1-based) holds the median with probability
    // 1 - 2 P(X <= j-1); j is the largest that keeps that at 95 % or more.
    std::size_t j = 1;
    while (j + 1 <= n / 2 && binomial_half_cdf(n, j) <= 0.025) {
        ++j;
    }
    s.low = samples[j - 1];
    s.high = samples[n - j];
    return s;
}

bool ahead_beyond_noise(const Summary &a, const Summary &b, bool higher_is_better) {
    // Too few samples say nothing about the noise (a smoke run has one or two).
    constexpr std::size_t kFewest = 5;
    if (a.samples < kFewest || b.samples < kFewest) {
        return false;
    }
    return higher_is_better ? a.low > b.high : a.high < b.low;
}

}  // namespace bench

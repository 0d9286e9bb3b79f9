// quenlex's part in the comparison: its operations through the exported functions.
#ifndef QUENLEX_BENCH_QUENLEX_COMPARISON_H
#define QUENLEX_BENCH_QUENLEX_COMPARISON_H

#include "contender.h"

namespace bench {

// Fills in the comparison's callbacks of the quenlex contender.
void add_quenlex_comparison(Contender &contender);

}  // namespace bench

#endif

// The contenders built into the benchmark.
#ifndef QUENLEX_BENCH_CONTENDERS_H
#define QUENLEX_BENCH_CONTENDERS_H

#include "contender.h"

namespace bench {

// Plain blocking write() and read() on the raw terminal: the floor the others are held to.
Contender plain_contender();

// This library, through its exported functions.
Contender quenlex_contender();

}  // namespace bench

#endif

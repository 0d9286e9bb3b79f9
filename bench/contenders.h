// The contenders built into the benchmark.
#ifndef QUENLEX_BENCH_CONTENDERS_H
#define QUENLEX_BENCH_CONTENDERS_H

#include <string>
#include <vector>

#include "contender.h"

namespace bench {

// Plain blocking write() and read() on the raw terminal: the floor the others are held to.
Contender plain_contender();

// This library, through its exported functions.
Contender quenlex_contender();

// The comparison's floor: the same work in plain system calls, deadlines computed by hand.
Contender floor_contender();

// A contender of the comparison as the worker process that runs it (worker_serve.h).
struct WorkerSpec {
    std::string name;
    std::vector<std::string> argv;
    std::string missing;  // why it cannot run on this build or machine; empty when it can
};

// The comparison's contenders, the floor first and quenlex second. `self` is this
// program, which serves the contenders built into it (--serve NAME).
std::vector<WorkerSpec> comparison_workers(const std::string &self);

// A contender built into this program by its name in comparison_workers(); false if none.
bool builtin_contender(const std::string &name, Contender *contender);

}  // namespace bench

#endif

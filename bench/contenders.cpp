#include "contenders.h"

#include <unistd.h>

namespace bench {

std::vector<Contender> all_contenders() { return {plain_contender(), quenlex_contender()}; }

std::vector<WorkerSpec> comparison_workers(const std::string &self) {
    std::vector<WorkerSpec> workers = {
        {"floor", {self, "--serve", "floor"}, ""},
        {"quenlex", {self, "--serve", "quenlex"}, ""},
        {"pyserial", {QUENLEX_BENCH_PYTHON, QUENLEX_BENCH_PYSERIAL_WORKER}, ""},
        {"libserialport", {QUENLEX_BENCH_LIBSERIALPORT_WORKER}, ""},
    };
    for (WorkerSpec &worker : workers) {
        if (worker.argv[0].empty()) {
            worker.missing = "not built (libserialport-dev was not found)";
        } else if (access(worker.argv[0].c_str(), X_OK) != 0) {
            worker.missing = worker.argv[0] + " is not installed";
        }
    }
    return workers;
}

bool builtin_contender(const std::string &name, Contender *contender) {
    if (name == "floor") {
        *contender = floor_contender();
    } else if (name == "quenlex") {
        *contender = quenlex_contender();
    } else {
        return false;
    }
    return true;
}

}  // namespace bench

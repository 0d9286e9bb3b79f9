// quenlex_bench_libserialport: libserialport's worker process for the comparison
// (worker_serve.h). A process of its own keeps modem_line_shim.cpp away from the others.
#include "libserialport_contender.h"
#include "worker_serve.h"

int main() { return bench::serve(bench::libserialport_contender()); }

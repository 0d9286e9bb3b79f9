// The worker side of the comparison: one contender in a process of its own, doing what the
// benchmark asks over its standard input and answering on its standard output, one line
// each. pyserial_worker.py speaks the same protocol:
//
//   on start                  -> "ready <what and version>" | "unavailable <why>"
//   open PATH BAUD            -> "ok" | "fail <why>"
//   close                     -> "ok"
//   read KIND N TOTAL INTERVAL -> "ok COUNT START END"     (KIND idle|burst|reply; ms)
//   wait                      -> "ok BYTE CPU_SECONDS START END"  (a blocking read)
//   poll TOTAL                -> the same, waiting in reads of TOTAL ms one after another
//   send CHUNK CHUNKS WRITE_MS -> "ok START END"
//   receive CHUNK CHUNKS TOTAL INTERVAL -> "ok START END"
//   cycles PATH BAUD COUNT    -> "ok START END"
//   quit                      -> (exits)
//
// START and END are CLOCK_MONOTONIC nanoseconds taken by the contender around its calls;
// any request can also be answered "fail <why>". The figures after KIND and CHUNKS are the
// time-outs of comparison_work.h, for a worker that cannot read that header.
#ifndef QUENLEX_BENCH_WORKER_SERVE_H
#define QUENLEX_BENCH_WORKER_SERVE_H

#include "contender.h"

namespace bench {

// Serves `contender` until "quit" or the end of the input; the process's exit status.
int serve(const Contender &contender);

}  // namespace bench

#endif

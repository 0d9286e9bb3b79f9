// libserialport as a contender; it lives in its own worker process (libserialport_worker.cpp).
#ifndef QUENLEX_BENCH_LIBSERIALPORT_CONTENDER_H
#define QUENLEX_BENCH_LIBSERIALPORT_CONTENDER_H

#include "contender.h"

namespace bench {

Contender libserialport_contender();

}  // namespace bench

#endif

// What the process holds: open descriptors, memory and CPU time used.
#ifndef QUENLEX_TEST_PROCESS_STATS_H
#define QUENLEX_TEST_PROCESS_STATS_H

#include <cstddef>

namespace quenlex::test {

// Number of open descriptors of this process (/proc/self/fd, without the one used to list it).
int open_fd_count();

// Resident set size in KiB (/proc/self/statm).
long resident_kib();

// Bytes the heap has handed out and not taken back (malloc's own count). Under
// AddressSanitizer the allocator is the sanitizer's: its count is used instead.
std::size_t heap_in_use();

// True in an AddressSanitizer build: its quarantine keeps freed memory resident for a while,
// so resident size says nothing about leaks there (heap_in_use() and LeakSanitizer do).
bool under_address_sanitizer();

// CPU time the process has used so far, user and system, in seconds.
double cpu_seconds();

// Monotonic wall time in seconds.
double wall_seconds();

}  // namespace quenlex::test

#endif

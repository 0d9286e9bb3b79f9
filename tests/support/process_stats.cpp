#include "process_stats.h"

#include <dirent.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUENLEX_TEST_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define QUENLEX_TEST_ASAN 1
#endif

#if defined(QUENLEX_TEST_ASAN)
// The sanitizer allocator's own count (declared here: GCC ships no header for it).
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace quenlex::test {

int open_fd_count() {
    DIR *dir = opendir("/proc/self/fd");
    if (dir == nullptr) {
        return -1;
    }
    int count = 0;
    while (const dirent *entry = readdir(dir)) {
        if (entry->d_name[0] != '.') {
            ++count;
        }
    }
    closedir(dir);
    return count - 1;  // the descriptor opendir() itself holds
}

long resident_kib() {
    std::FILE *file = std::fopen("/proc/self/statm", "r");
    if (file == nullptr) {
        return -1;
    }
    long size = 0;
    long resident = 0;
    int fields = std::fscanf(file, "%ld %ld", &size, &resident);
    std::fclose(file);
    if (fields != 2) {
        return -1;
    }
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

std::size_t heap_in_use() {
#if defined(QUENLEX_TEST_ASAN)
    return __sanitizer_get_current_allocated_bytes();
#else
    struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
#endif
}

bool under_address_sanitizer() {
#if defined(QUENLEX_TEST_ASAN)
    return true;
#else
    return false;
#endif
}

double cpu_seconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double wall_seconds() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9;
}

}  // namespace quenlex::test

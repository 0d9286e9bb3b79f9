// A system call of the table, made again while a signal interrupts it before it did
// anything (EINTR), so that a signal arriving in the host never fails a request. Calls whose
// EINTR means something else (close(), which has released the descriptor already) or that
// must re-arm a time-out (ppoll) handle it themselves.
#ifndef QUENLEX_POSIX_EINTR_H
#define QUENLEX_POSIX_EINTR_H

#include <cerrno>

namespace quenlex::posix {

template <typename Result, typename... Params, typename... Args>
Result retry_eintr(Result (*call)(Params...), Args... args) {
    Result result;
    do {
        result = call(args...);
    } while (result == -1 && errno == EINTR);
    return result;
}

}  // namespace quenlex::posix

#endif

#include "receiver.h"

#include <algorithm>
#include <chrono>
#include <vector>

#include "quenlex.h"

namespace quenlex_cli {

Receiver::Receiver() : baseline_(quenlex_getError()) {}

int Receiver::read(int max_bytes, std::string &out) {
    std::vector<char> buffer(static_cast<std::size_t>(max_bytes) + 1);
    int count = quenlex_read(buffer.data(), static_cast<int>(buffer.size()));
    if (count > 0) {
        out.append(buffer.data(), static_cast<std::size_t>(count));
        return count;
    }
    int error = quenlex_getError();
    if (error != 0 && error != baseline_) {
        failed_ = true;
        error_ = error;
    }
    return 0;
}

Reply collect_reply(int limit, int wait_ms) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(wait_ms);
    // Large enough for most replies in one call, small enough that a short reply is not
    // kept waiting long by the library's total time-out (3 ms per byte asked for).
    constexpr int kChunk = 256;

    Reply reply;
    Receiver receiver;
    while (static_cast<int>(reply.bytes.size()) < limit) {
        int room = std::min(kChunk, limit - static_cast<int>(reply.bytes.size()));
        if (receiver.read(room, reply.bytes) > 0) {
            continue;
        }
        if (receiver.failed()) {
            reply.failed = true;
            reply.error = receiver.error();
            break;
        }
        if (!reply.bytes.empty() || Clock::now() >= deadline) {
            break;
        }
    }
    return reply;
}

}  // namespace quenlex_cli

#include "worker_serve.h"

#include <cstdio>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

namespace bench {
namespace {

void answer(const std::string &line) {
    std::fputs((line + "\n").c_str(), stdout);
    std::fflush(stdout);
}

std::string span_text(const Span &span) {
    return std::to_string(span.start_ns) + " " + std::to_string(span.end_ns);
}

bool kind_of(const std::string &word, ReadKind *kind) {
    if (word == "idle") {
        *kind = ReadKind::idle;
    } else if (word == "burst") {
        *kind = ReadKind::burst;
    } else if (word == "reply") {
        *kind = ReadKind::reply;
    } else {
        return false;
    }
    return true;
}

// One request; the answer line.
std::string handle(const Contender &c, const std::string &verb, std::istringstream &args) {
    Span span;
    if (verb == "open") {
        std::string path;
        int baud = 0;
        args >> path >> baud;
        return c.open(c.state, path.c_str(), baud) ? "ok" : "fail open " + path;
    }
    if (verb == "close") {
        c.close(c.state);
        return "ok";
    }
    if (verb == "read") {
        std::string word;
        std::size_t n = 0;
        ReadKind kind{};
        args >> word >> n;
        if (!kind_of(word, &kind) || n == 0) {
            return "fail bad read request";
        }
        std::vector<char> buffer(n + 1);
        long got = c.timed_read(c.state, kind, buffer.data(), n, &span);
        return got < 0 ? "fail read" : "ok " + std::to_string(got) + " " + span_text(span);
    }
    if (verb == "wait" || verb == "poll") {
        double cpu = 0;
        int byte = c.timed_wait_byte(c.state, verb == "poll", &cpu, &span);
        char text[64];
        std::snprintf(text, sizeof text, "%.9f", cpu);
        return byte < 0 ? "fail wait"
                        : "ok " + std::to_string(byte) + " " + text + " " + span_text(span);
    }
    if (verb == "send" || verb == "receive") {
        std::size_t chunk = 0, chunks = 0;
        args >> chunk >> chunks;
        bool ok = verb == "send" ? c.send_stream(c.state, chunk, chunks, &span)
                                 : c.receive_stream(c.state, chunk, chunks, &span);
        return ok ? "ok " + span_text(span) : "fail " + verb;
    }
    if (verb == "cycles") {
        std::string path;
        int baud = 0, count = 0;
        args >> path >> baud >> count;
        return c.open_close_cycles(c.state, path.c_str(), baud, count, &span)
                   ? "ok " + span_text(span)
                   : "fail cycles";
    }
    return "fail unknown request " + verb;
}

}  // namespace

int serve(const Contender &contender) {
    answer(std::string("ready ") + contender.describe(contender.state));
    std::string line;
    while (std::getline(std::cin, line)) {
        std::istringstream args(line);
        std::string verb;
        args >> verb;
        if (verb == "quit") {
            break;
        }
        answer(handle(contender, verb, args));
    }
    contender.close(contender.state);
    return 0;
}

}  // namespace bench

// Writing, waiting for single bytes and collecting bursts over an open port.
#include <cstring>

#include "context.h"

namespace {

constexpr char kUntouched = '\x5a';

std::string hexOf(const char *bytes, int count) {
    return toHex(std::string(bytes, count > 0 ? static_cast<std::size_t>(count) : 0));
}

// True when buffer[from, size) still holds the fill the case put there.
bool untouchedFrom(const char *buffer, int from, int size) {
    for (int i = from; i < size; ++i) {
        if (buffer[i] != kUntouched) {
            return false;
        }
    }
    return true;
}

void checkWithoutPort(Context &ctx) {
    Report &r = ctx.report;
    char buffer[8];
    std::memset(buffer, kUntouched, sizeof buffer);
    SetLastError(1234);
    r.check("write with no port", ctx.lib.write("abc") == 0 && ctx.lib.getError() == 1234);
    r.check("readChar with no port", ctx.lib.readChar() == 0);
    r.check("read with no port", ctx.lib.read(buffer, 8) == 0 && untouchedFrom(buffer, 0, 8));
}

void checkWrite(Context &ctx) {
    Report &r = ctx.report;
    r.check("write a line", ctx.lib.write("hello\r\n") != 0);
    std::string got = ctx.peer.receive(ctx.portA, 7);
    r.check("peer got the line without terminator", got == "hello\r\n", toHex(got));

    r.check("write an empty string", ctx.lib.write("") != 0);
    got = ctx.peer.receive(ctx.portA, 0);
    r.check("nothing sent for an empty string", got.empty(), toHex(got));

    std::string all;
    for (int byte = 1; byte < 256; ++byte) {
        all += static_cast<char>(byte);
    }
    r.check("write every byte value", ctx.lib.write(all.c_str()) != 0);
    got = ctx.peer.receive(ctx.portA, all.size());
    r.check("peer got every byte value unchanged", got == all, toHex(got));

    int result = ctx.lib.write(nullptr);
    int error = ctx.lib.getError();
    r.check("write of NULL is refused", result == 0 && error == ERROR_INVALID_PARAMETER,
            format("result %d, error %d", result, error));
}

void checkReadChar(Context &ctx) {
    Report &r = ctx.report;
    struct Case {
        unsigned char sent;
        int expected;
    };
    const Case cases[] = {{'A', 65}, {0x7F, 127}, {0x80, -128}, {0xFF, -1}, {0x00, 0}};
    for (const Case &c : cases) {
        ctx.peer.send(ctx.portA, std::string(1, static_cast<char>(c.sent)));
        int got = ctx.lib.readChar();
        r.check(format("readChar of 0x%02x", c.sent), got == c.expected, format("got %d", got));
    }

    // Nothing waiting: the call keeps polling until the byte comes a second later.
    ctx.peer.sendLater(ctx.portA, 1000, "Q");
    auto start = std::chrono::steady_clock::now();
    int got = ctx.lib.readChar();
    long waited = elapsedMs(start);
    r.check("readChar waits for a late byte", got == 'Q' && waited >= 500,
            format("got %d after %ld ms", got, waited));
}

void checkRead(Context &ctx) {
    Report &r = ctx.report;
    char buffer[4000];

    // Nothing waiting: 0 after the first read's 5 ms, and the buffer is not touched.
    std::memset(buffer, kUntouched, sizeof buffer);
    auto start = std::chrono::steady_clock::now();
    int result = ctx.lib.read(buffer, 16);
    long took = elapsedMs(start);
    r.check("read with nothing waiting", result == 0 && untouchedFrom(buffer, 0, 16) && took < 5000,
            format("result %d after %ld ms", result, took));

    // Command and reply.
    r.check("write a command", ctx.lib.write("ID?\r") != 0);
    std::string command = ctx.peer.answer(ctx.portA, 4, "QX-1 ready\r\n");
    r.check("peer got the command", command == "ID?\r", toHex(command));
    std::memset(buffer, kUntouched, sizeof buffer);
    result = ctx.lib.read(buffer, 64);
    r.check("read the reply",
            result == 12 && std::memcmp(buffer, "QX-1 ready\r\n", 13) == 0 &&
                untouchedFrom(buffer, 13, 64),
            format("result %d: %s", result, hexOf(buffer, result + 1).c_str()));

    // More than fits: bufferSize - 1 bytes and the terminator; the rest stays queued.
    ctx.peer.send(ctx.portA, "0123456789");
    std::memset(buffer, kUntouched, sizeof buffer);
    result = ctx.lib.read(buffer, 8);
    r.check("read fills the buffer",
            result == 7 && std::memcmp(buffer, "0123456", 8) == 0 && untouchedFrom(buffer, 8, 16),
            format("result %d: %s", result, hexOf(buffer, 8).c_str()));
    result = ctx.lib.read(buffer, 8);
    r.check("read gets the rest", result == 3 && std::memcmp(buffer, "789", 4) == 0,
            format("result %d", result));

    // One byte: the second read waits out its whole total time-out, 3 * 14 + 2 ms.
    ctx.peer.send(ctx.portA, "Z");
    std::memset(buffer, kUntouched, sizeof buffer);
    start = std::chrono::steady_clock::now();
    result = ctx.lib.read(buffer, 16);
    took = elapsedMs(start);
    r.check("read of a single byte",
            result == 1 && std::memcmp(buffer, "Z", 2) == 0 && untouchedFrom(buffer, 2, 16),
            format("result %d", result));
    r.check("single byte waits the total time-out", took >= 30 && took < 5000,
            format("%ld ms", took));

    // The smallest buffer: one byte and its terminator; the second byte stays queued.
    ctx.peer.send(ctx.portA, "AB");
    std::memset(buffer, kUntouched, sizeof buffer);
    result = ctx.lib.read(buffer, 2);
    r.check("read with bufferSize 2",
            result == 1 && std::memcmp(buffer, "A", 2) == 0 && buffer[2] == kUntouched,
            format("result %d", result));
    result = ctx.lib.read(buffer, 8);
    r.check("the second byte stayed queued", result == 1 && buffer[0] == 'B',
            format("result %d", result));

    // Zero bytes are data like any other.
    ctx.peer.send(ctx.portA, std::string("a\0b", 3));
    std::memset(buffer, kUntouched, sizeof buffer);
    result = ctx.lib.read(buffer, 16);
    r.check("read counts zero bytes", result == 3 && std::memcmp(buffer, "a\0b\0", 4) == 0,
            format("result %d", result));

    // A burst spread over 400 ms into a large buffer: the read ends 500 ms after the last
    // byte (the interval time-out), long before its total time-out of 3 * 3998 + 2 ms.
    ctx.peer.burst(ctx.portA, 100, "burst-", 5);
    std::memset(buffer, kUntouched, sizeof buffer);
    start = std::chrono::steady_clock::now();
    result = ctx.lib.read(buffer, 4000);
    took = elapsedMs(start);
    std::string expected = "burst-burst-burst-burst-burst-";
    r.check("read collects the whole burst",
            result == 30 && std::memcmp(buffer, expected.c_str(), 31) == 0,
            format("result %d: %s", result, hexOf(buffer, result).c_str()));
    r.check("the burst ends by the interval time-out", took >= 700 && took < 6000,
            format("%ld ms", took));
}

}  // namespace

void runTransferCases(Context &ctx) {
    checkWithoutPort(ctx);
    if (!ctx.report.check("open for transfer", ctx.lib.open(ctx.portA.c_str(), 115200) == 1)) {
        return;
    }
    checkWrite(ctx);
    checkReadChar(ctx);
    checkRead(ctx);
    ctx.lib.close();
}

// Random sequences of the nine calls against a pseudo-terminal peer that sends random
// bytes, pauses and hangs up. After every call: the result is within its documented range,
// quenlex_read's terminator is where its result says and nothing is written past bufferSize
// (the buffer ends at a guard page), received bytes are the peer's bytes in order, a failure
// leaves an error code, and the process holds no more descriptors than the model says.
//
// quenlex_readChar waits without bound for a byte, so it is only called when a byte is
// queued, on its way, or the line is dead. quenlex_configure's dialog needs a terminal; the
// fuzzer runs without one (it leaves its controlling terminal at start), so the dialog fails
// at once instead of waiting for a person.
#include <unistd.h>

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <thread>

#include "guard_buffer.h"
#include "no_terminal.h"
#include "process_stats.h"
#include "pty_peer.h"
#include "quenlex.h"

namespace {

using quenlex::test::GuardBuffer;
using quenlex::test::PtyPeer;

[[noreturn]] void fail(const char *op, const char *what, long long detail) {
    std::fprintf(stderr, "fuzz: after %s: %s (%lld)\n", op, what, detail);
    std::abort();
}

void check(bool ok, const char *op, const char *what, long long detail = 0) {
    if (!ok) {
        fail(op, what, detail);
    }
}

// Reads the input as a stream of small numbers; zeros once it runs out.
class Input {
  public:
    Input(const std::uint8_t *data, std::size_t size) : data_(data), size_(size) {}
    bool done() const { return at_ >= size_; }
    std::uint8_t byte() { return at_ < size_ ? data_[at_++] : 0; }
    std::string bytes(std::size_t most) {
        std::size_t count = byte() % (most + 1);
        std::string text;
        for (std::size_t i = 0; i < count; ++i) {
            text.push_back(static_cast<char>(byte()));
        }
        return text;
    }

  private:
    const std::uint8_t *data_;
    std::size_t size_;
    std::size_t at_ = 0;
};

// The test's view of the line and the port.
struct Model {
    std::unique_ptr<PtyPeer> peer = std::make_unique<PtyPeer>();
    std::deque<char> queued;  // sent by the peer, not yet read by the library
    bool port_open = false;
    bool port_on_dead_line = false;  // the open port's peer hung up
    std::thread late;                // a send still on its way
    std::string late_bytes;

    void settle() {
        if (late.joinable()) {
            late.join();
        }
    }
    // The device's name; once it hung up, a name that cannot exist. The number of a pseudo-
    // terminal that is gone is handed to the next one anyone on the machine opens, so its old
    // name must not be opened again: it may be another program's terminal by then.
    std::string name() const { return peer->hung_up() ? "/dev/pts/gone" : peer->path(); }
    int expected_fds(int base) const {
        return base + (peer->hung_up() ? 0 : 2) + (port_open ? 1 : 0);
    }
};

const int kSpeeds[] = {9600, 115200, 1200, 250000, 1, 0, -1, INT_MAX};

void run(Input &in, int base_fds) {
    Model m;
    char test_out[8];
    for (int steps = 0; !in.done() && steps < 64; ++steps) {
        const char *op = "?";
        switch (in.byte() % 14) {
            case 0: {
                op = "quenlex_open";
                m.settle();
                int speed = kSpeeds[in.byte() % 8];
                bool dead = m.peer->hung_up();
                int r = quenlex_open(m.name().c_str(), speed);
                check(r == 0 || r == 1, op, "result out of range", r);
                check(r == 1 || quenlex_getError() != 0, op, "failed without an error code");
                check(!dead || r == 0, op, "opened a line that is gone");
                check(speed != 0 || r == 0, op, "took speed 0");
                m.port_open = r == 1;
                m.port_on_dead_line = false;
                if (r == 1) {
                    // What is queued now is what the port will read.
                    int queued = m.peer->queued_for_device();
                    while (static_cast<int>(m.queued.size()) > queued) {
                        m.queued.pop_front();
                    }
                }
                break;
            }
            case 1:
                op = "quenlex_close";
                quenlex_close();
                m.port_open = false;
                break;
            case 2: {
                op = "quenlex_available";
                const std::string name = m.name();
                const char *names[] = {name.c_str(), "/dev/null", "", "/no/such"};
                int which = in.byte() % 4;
                int r = quenlex_available(names[which]);
                check(r == 0 || r == 1, op, "result out of range", r);
                check(r == 1 || quenlex_getError() != 0, op, "failed without an error code");
                check(which != 0 || !m.port_open || m.port_on_dead_line || r == 0, op,
                      "found the open port free");
                break;
            }
            case 3: {
                op = "quenlex_configure";
                m.settle();
                const std::string name = m.name();
                const char *names[] = {name.c_str(), "/dev/null", "/no/such"};
                int r = quenlex_configure(names[in.byte() % 3]);
                check(r == 0 || r == 1, op, "result out of range", r);
                check(r == 1 || quenlex_getError() != 0, op, "failed without an error code");
                break;
            }
            case 4: {
                op = "TEST";
                std::memset(test_out, 'x', sizeof test_out);
                check(TEST(test_out) == 6, op, "result is not 6");
                check(std::memcmp(test_out, "DENEME", 7) == 0 && test_out[7] == 'x', op,
                      "wrote something else than DENEME and its terminator");
                break;
            }
            case 5: {
                op = "quenlex_getError";
                int first = quenlex_getError();
                check(quenlex_getError() == first, op, "changed between two calls");
                break;
            }
            case 6: {
                op = "quenlex_write";
                std::string text = in.bytes(48);
                text = text.substr(0, std::strlen(text.c_str()));  // up to its terminator
                int r = quenlex_write(text.c_str());
                check(r == 0 || r == 1, op, "result out of range", r);
                check(m.port_open || r == 0, op, "wrote without a port");
                if (m.port_open && !m.peer->hung_up()) {
                    check(r == 1 || quenlex_getError() != 0, op, "failed without an error code");
                    std::string got = m.peer->receive(text.size(), 2000);
                    check(r == 0 || got == text, op, "the peer received other bytes",
                          static_cast<long long>(got.size()));
                }
                break;
            }
            case 7: {
                op = "quenlex_read";
                m.settle();
                // Sizes the caller really has, and the invalid ones below 2.
                int size = static_cast<int>(in.byte() % 40) - 2;
                GuardBuffer buffer(size > 0 ? static_cast<std::size_t>(size) : 0, '\x5a');
                int r = quenlex_read(size > 0 ? buffer.data() : nullptr, size);
                check(r >= 0 && (r == 0 || r <= size - 1), op, "count out of range", r);
                check(m.port_open || r == 0, op, "read without a port", r);
                if (m.port_open && m.port_on_dead_line) {
                    check(r == 0 && quenlex_getError() != 0, op, "no failure on a dead line", r);
                }
                if (r > 0) {
                    check(buffer.data()[r] == '\0', op, "no terminator at the count", r);
                    check(buffer.untouched_from(static_cast<std::size_t>(r) + 1, '\x5a'), op,
                          "wrote behind the terminator", r);
                    for (int i = 0; i < r; ++i) {
                        check(!m.queued.empty() && m.queued.front() == buffer.data()[i], op,
                              "a byte the peer did not send next", i);
                        m.queued.pop_front();
                    }
                } else if (size > 0) {
                    check(buffer.untouched_from(0, '\x5a'), op, "wrote into the buffer for 0");
                }
                break;
            }
            case 8: {
                op = "quenlex_readChar";
                m.settle();
                bool byte_coming = !m.queued.empty();
                if (m.port_open && !byte_coming && !m.port_on_dead_line) {
                    break;  // it would wait for ever
                }
                int r = quenlex_readChar();
                check(r >= -128 && r <= 127, op, "not a signed byte", r);
                if (m.port_open && byte_coming && !m.port_on_dead_line) {
                    check(r == m.queued.front(), op, "not the byte the peer sent next", r);
                    m.queued.pop_front();
                } else if (m.port_open) {
                    check(r == 0 && quenlex_getError() != 0, op, "no failure on a dead line", r);
                }
                break;
            }
            case 9:
            case 10: {
                op = "peer sends";
                m.settle();
                std::string bytes = in.bytes(40);
                if (!m.peer->hung_up()) {
                    m.peer->send_settled(bytes);
                    m.queued.insert(m.queued.end(), bytes.begin(), bytes.end());
                }
                break;
            }
            case 11: {
                op = "peer sends later";
                m.settle();
                std::string bytes = in.bytes(16);
                int delay_ms = in.byte() % 20;
                if (!m.peer->hung_up() && !bytes.empty()) {
                    m.queued.insert(m.queued.end(), bytes.begin(), bytes.end());
                    PtyPeer *peer = m.peer.get();
                    m.late = std::thread([peer, bytes, delay_ms] {
                        std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms));
                        peer->send_settled(bytes);
                    });
                }
                break;
            }
            case 12:
                op = "peer pauses";
                std::this_thread::sleep_for(std::chrono::milliseconds(in.byte() % 10));
                break;
            case 13:
                op = "peer hangs up";
                m.settle();
                if (in.byte() % 2 == 0 || m.peer->hung_up()) {
                    // A new device for later opens; the open port (if any) stays on the old one.
                    if (m.port_open && !m.peer->hung_up()) {
                        m.peer->hang_up();
                        m.port_on_dead_line = true;
                    }
                    m.peer = std::make_unique<PtyPeer>();
                } else {
                    m.peer->hang_up();
                    m.port_on_dead_line = m.port_open;
                }
                m.queued.clear();
                break;
        }
        // A port left on a dead line still holds its descriptor until closed.
        int fds = quenlex::test::open_fd_count();
        int want = m.expected_fds(base_fds);
        check(fds == want, op, "descriptors differ from the model", fds - want);
    }
    m.settle();
    quenlex_close();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    quenlex::test::leave_controlling_terminal();
    if (!quenlex::test::has_no_controlling_terminal()) {
        std::fprintf(stderr, "fuzz: still have a controlling terminal; run under setsid\n");
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    // Counted per input: libFuzzer and the sanitizers open descriptors of their own.
    const int base_fds = quenlex::test::open_fd_count();
    Input in(data, size);
    run(in, base_fds);
    int fds = quenlex::test::open_fd_count();
    check(fds == base_fds, "the input", "descriptors grew", fds - base_fds);
    return 0;
}

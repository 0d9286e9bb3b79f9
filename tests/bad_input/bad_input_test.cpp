// Bad input across the nine functions, as a table: each row feeds one bad value to one
// function, from a known state, and names the result, the error code and the state after.
// For every row, nothing else may change: the port that was open is still the same working
// port (no stray bytes sent, no received byte eaten), no descriptor is left behind, the
// caller's memory is untouched past what the function documents (guard pages make a write
// past it fault), and no call hangs (a watchdog turns a hang into a failure).
#define GTEST_DONT_DEFINE_TEST 1
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "guard_buffer.h"
#include "port_slot.h"
#include "process_stats.h"
#include "pty_peer.h"
#include "quenlex.h"
#include "serial_device/serial_device.h"
#include "watchdog.h"

namespace quenlex::test {
namespace {

using namespace std::chrono_literals;

constexpr DWORD kSentinel = 0x5107u;         // error code set before each call
constexpr DWORD kUnchanged = kSentinel;      // the call must leave the error code alone
constexpr DWORD kNotLookedAt = 0xffffffffu;  // success: the error code is no part of it
constexpr char kFill = '\x5a';
const std::string kQueued = "xyz";  // waiting for the library whenever a port is open

// Files of every kind that is no serial port, made once for the suite.
class Sandbox {
  public:
    Sandbox() {
        char pattern[] = "/tmp/quenlex-bad-input-XXXXXX";
        root_ = mkdtemp(pattern);
        mkdir(dir().c_str(), 0700);
        mkfifo(fifo().c_str(), 0600);
        write_file(file(), "contents");
        write_file(control_named(), "contents");
        socket_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socket_path().c_str());
        if (bind(socket_, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0 ||
            listen(socket_, 1) != 0) {
            std::perror("Sandbox: socket");
            std::abort();
        }
    }
    ~Sandbox() {
        close(socket_);
        for (const std::string &path : {fifo(), file(), control_named(), socket_path()}) {
            unlink(path.c_str());
        }
        rmdir(dir().c_str());
        rmdir(root_.c_str());
    }

    std::string dir() const { return root_ + "/dir"; }
    std::string fifo() const { return root_ + "/fifo"; }
    std::string file() const { return root_ + "/file"; }
    std::string control_named() const { return root_ + "/ctl\t\x01\x1b[2J\x7f"; }
    std::string socket_path() const { return root_ + "/sock"; }

    static std::string read_file(const std::string &path) {
        std::string text;
        if (std::FILE *f = std::fopen(path.c_str(), "rb")) {
            char chunk[256];
            std::size_t n;
            while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
                text.append(chunk, n);
            }
            std::fclose(f);
        }
        return text;
    }

  private:
    static void write_file(const std::string &path, const std::string &text) {
        std::FILE *f = std::fopen(path.c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), f);
        std::fclose(f);
    }

    std::string root_;
    int socket_ = -1;
};

// Another process holding a device open read-only, with or without an exclusive lock.
class Holder {
  public:
    Holder(const std::string &path, bool lock) {
        int ready[2];
        int release[2];
        if (pipe2(ready, O_CLOEXEC) != 0 || pipe2(release, O_CLOEXEC) != 0) {
            std::abort();
        }
        pid_ = fork();
        if (pid_ == 0) {
            close(ready[0]);
            close(release[1]);
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            int fd = open(path.c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
            char ok = fd >= 0 && (!lock || flock(fd, LOCK_EX | LOCK_NB) == 0) ? '1' : '0';
            (void)!write(ready[1], &ok, 1);
            char byte;
            (void)!read(release[0], &byte, 1);  // returns when the parent lets go
            // Still holding a working descriptor: its state answers a query.
            int flags = fcntl(fd, F_GETFL);
            _exit(flags >= 0 ? 0 : 3);
        }
        close(ready[1]);
        close(release[0]);
        release_ = release[1];
        char ok = '0';
        held_ = read(ready[0], &ok, 1) == 1 && ok == '1';
        close(ready[0]);
    }
    ~Holder() { still_held(); }
    bool held() const { return held_; }
    // Lets the holder go; true when its descriptor was still working at the end.
    bool still_held() {
        if (pid_ <= 0) {
            return false;
        }
        close(release_);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }

  private:
    pid_t pid_ = -1;
    int release_ = -1;
    bool held_ = false;
};

enum class Port { none, open };

// What a row's call gets to work with.
struct Context {
    const Sandbox &sandbox;
    PtyPeer &peer;
    GuardBuffer &buffer;  // 16 bytes
    GuardBuffer &two;     // 2 bytes
    GuardBuffer &eight;   // 8 bytes
};

struct Row {
    std::string name;
    Port before;
    std::function<int(Context &)> call;
    int result;
    DWORD error;
    Port after;
    int consumed = 0;  // received bytes the call may take (from kQueued)
    // Anything else that must hold; returns "" or what is wrong.
    std::function<std::string(Context &)> check = nullptr;
};

void PrintTo(const Row &row, std::ostream *out) { *out << row.name; }

std::string long_name() { return "/tmp/" + std::string(5000, 'a'); }
// More than PATH_MAX characters made of valid components.
std::string long_valid_path() {
    std::string path = "/";
    while (path.size() < 4200) {
        path += "./";
    }
    return path + "dev/null";
}

std::string buffer_holds(GuardBuffer &buffer, const std::string &want) {
    std::string got = buffer.bytes(0, want.size());
    if (got != want) {
        return "buffer holds \"" + got + "\"";
    }
    return buffer.untouched_from(want.size(), kFill) ? "" : "buffer written past the terminator";
}

// The three functions that take a port name, each fed `name`.
void name_rows(std::vector<Row> &rows, const std::string &label,
               std::function<std::string(Context &)> name, int available, DWORD available_error,
               DWORD open_error) {
    rows.push_back({"available_" + label, Port::none,
                    [name](Context &c) { return quenlex_available(name(c).c_str()); }, available,
                    available_error, Port::none});
    rows.push_back({"open_" + label, Port::none,
                    [name](Context &c) { return quenlex_open(name(c).c_str(), 9600); }, 0,
                    open_error, Port::none});
    rows.push_back({"open_" + label + "_with_a_port_open", Port::open,
                    [name](Context &c) { return quenlex_open(name(c).c_str(), 9600); }, 0,
                    open_error, Port::none});
    rows.push_back({"configure_" + label, Port::none,
                    [name](Context &c) { return quenlex_configure(name(c).c_str()); }, 0,
                    open_error, Port::none});
}

std::vector<Row> rows() {
    std::vector<Row> rows;
    // NULL pointers.
    rows.push_back({"available_null", Port::none,
                    [](Context &) { return quenlex_available(nullptr); }, 0,
                    ERROR_INVALID_PARAMETER, Port::none});
    rows.push_back({"open_null", Port::none, [](Context &) { return quenlex_open(nullptr, 9600); },
                    0, ERROR_INVALID_PARAMETER, Port::none});
    rows.push_back({"open_null_with_a_port_open", Port::open,
                    [](Context &) { return quenlex_open(nullptr, 9600); }, 0,
                    ERROR_INVALID_PARAMETER, Port::none});
    rows.push_back({"configure_null", Port::none,
                    [](Context &) { return quenlex_configure(nullptr); }, 0,
                    ERROR_INVALID_PARAMETER, Port::none});
    rows.push_back({"write_null", Port::open, [](Context &) { return quenlex_write(nullptr); }, 0,
                    ERROR_INVALID_PARAMETER, Port::open});
    rows.push_back({"write_null_no_port", Port::none,
                    [](Context &) { return quenlex_write(nullptr); }, 0, kUnchanged, Port::none});
    rows.push_back({"read_null", Port::open, [](Context &) { return quenlex_read(nullptr, 16); }, 0,
                    ERROR_INVALID_PARAMETER, Port::open});
    rows.push_back({"read_null_no_port", Port::none,
                    [](Context &) { return quenlex_read(nullptr, 16); }, 0, kUnchanged,
                    Port::none});
    rows.push_back({"TEST_null", Port::none, [](Context &) { return TEST(nullptr); }, 0, kUnchanged,
                    Port::none});

    // Names.
    name_rows(
        rows, "empty_name", [](Context &) { return std::string(); }, 0, ERROR_PATH_NOT_FOUND,
        ERROR_PATH_NOT_FOUND);
    name_rows(
        rows, "5000_character_name", [](Context &) { return long_name(); }, 0,
        ERROR_FILENAME_EXCED_RANGE, ERROR_FILENAME_EXCED_RANGE);
    name_rows(
        rows, "4200_character_path_of_valid_parts", [](Context &) { return long_valid_path(); }, 0,
        ERROR_FILENAME_EXCED_RANGE, ERROR_FILENAME_EXCED_RANGE);
    name_rows(
        rows, "device_name_and_a_newline", [](Context &c) { return c.peer.path() + "\n"; }, 0,
        ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND);
    name_rows(
        rows, "control_characters", [](Context &) { return std::string("\x01\x02\x1b[2J\x7f"); }, 0,
        ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND);
    name_rows(
        rows, "windows_name", [](Context &) { return std::string("COM1"); }, 0,
        ERROR_FILE_NOT_FOUND, ERROR_FILE_NOT_FOUND);
    name_rows(
        rows, "file_named_with_control_characters",
        [](Context &c) { return c.sandbox.control_named(); }, 1, kNotLookedAt,
        ERROR_INVALID_FUNCTION);
    name_rows(
        rows, "directory", [](Context &c) { return c.sandbox.dir(); }, 0, ERROR_ACCESS_DENIED,
        ERROR_ACCESS_DENIED);
    name_rows(
        rows, "fifo", [](Context &c) { return c.sandbox.fifo(); }, 1, kNotLookedAt,
        ERROR_INVALID_FUNCTION);
    name_rows(
        rows, "socket", [](Context &c) { return c.sandbox.socket_path(); }, 0,
        ERROR_DEVICE_NOT_CONNECTED, ERROR_DEVICE_NOT_CONNECTED);
    name_rows(
        rows, "dev_null", [](Context &) { return std::string("/dev/null"); }, 1, kNotLookedAt,
        ERROR_INVALID_FUNCTION);
    name_rows(
        rows, "regular_file", [](Context &c) { return c.sandbox.file(); }, 1, kNotLookedAt,
        ERROR_INVALID_FUNCTION);
    rows.back().check = [](Context &c) {
        return Sandbox::read_file(c.sandbox.file()) == "contents" ? "" : "the file changed";
    };

    // A serial device another program holds read-only: with a lock we see it; without one
    // nothing on POSIX can (our open then takes it, as every later open is refused).
    for (bool lock : {true, false}) {
        std::string label = lock ? "pty_held_read_only_and_locked_elsewhere"
                                 : "pty_held_read_only_without_a_lock_elsewhere";
        rows.push_back({"available_" + label, Port::none,
                        [lock](Context &c) {
                            Holder holder(c.peer.path(), lock);
                            return holder.held() ? quenlex_available(c.peer.path().c_str()) : -1;
                        },
                        lock ? 0 : 1, lock ? ERROR_ACCESS_DENIED : kNotLookedAt, Port::none});
        rows.push_back({"open_" + label, Port::none,
                        [lock](Context &c) {
                            Holder holder(c.peer.path(), lock);
                            int result =
                                holder.held() ? quenlex_open(c.peer.path().c_str(), 9600) : -1;
                            DWORD error = GetLastError();
                            if (!holder.still_held()) {
                                return -2;  // the other program lost its descriptor
                            }
                            SetLastError(error);
                            return result;
                        },
                        lock ? 0 : 1, lock ? ERROR_ACCESS_DENIED : kNotLookedAt,
                        lock ? Port::none : Port::open});
        rows.push_back({"configure_" + label, Port::none,
                        [lock](Context &c) {
                            Holder holder(c.peer.path(), lock);
                            return holder.held() ? quenlex_configure(c.peer.path().c_str()) : -1;
                        },
                        lock ? 0 : 1, lock ? ERROR_ACCESS_DENIED : kNotLookedAt, Port::none});
    }

    // Speeds, passed on unchanged: the driver takes or refuses them. A pseudo-terminal has no
    // wire and takes any rate the record can hold (-1 arrives as 4294967295); 0 is no rate.
    struct Speed {
        const char *label;
        int rate;
        int result;
        DWORD error;
    };
    for (const Speed &speed :
         {Speed{"0", 0, 0, ERROR_INVALID_PARAMETER}, Speed{"minus_1", -1, 1, kNotLookedAt},
          Speed{"1", 1, 1, kNotLookedAt}, Speed{"INT_MAX", INT_MAX, 1, kNotLookedAt}}) {
        int rate = speed.rate;
        rows.push_back({std::string("open_at_speed_") + speed.label, Port::none,
                        [rate](Context &c) { return quenlex_open(c.peer.path().c_str(), rate); },
                        speed.result, speed.error, speed.result == 1 ? Port::open : Port::none});
    }

    // Buffer sizes, with bytes waiting.
    for (int size : {-1, 0, 1}) {
        rows.push_back(
            {"read_buffer_size_" + std::string(size < 0 ? "minus_1" : std::to_string(size)),
             Port::open, [size](Context &c) { return quenlex_read(c.buffer.data(), size); }, 0,
             ERROR_INVALID_PARAMETER, Port::open, 0,
             [](Context &c) { return buffer_holds(c.buffer, ""); }});
    }
    rows.push_back({"read_buffer_size_2_into_2_bytes", Port::open,
                    [](Context &c) { return quenlex_read(c.two.data(), 2); }, 1, kNotLookedAt,
                    Port::open, 1,
                    [](Context &c) { return buffer_holds(c.two, std::string("x\0", 2)); }});
    rows.push_back({"read_buffer_size_INT_MAX_into_8_bytes", Port::open,
                    [](Context &c) { return quenlex_read(c.eight.data(), INT_MAX); }, 3,
                    kNotLookedAt, Port::open, 3,
                    [](Context &c) { return buffer_holds(c.eight, std::string("xyz\0", 4)); }});
    return rows;
}

class BadInput : public testing::TestWithParam<Row> {
  protected:
    static void SetUpTestSuite() { sandbox_ = new Sandbox; }
    static void TearDownTestSuite() {
        delete sandbox_;
        sandbox_ = nullptr;
    }
    static Sandbox *sandbox_;
};
Sandbox *BadInput::sandbox_ = nullptr;

TEST_P(BadInput, NamesTheResultTheErrorAndChangesNothingElse) {
    const Row &row = GetParam();
    const int fds = open_fd_count();
    {
        PtyPeer peer;
        GuardBuffer buffer(16, kFill);
        GuardBuffer two(2, kFill);
        GuardBuffer eight(8, kFill);
        Context context{*sandbox_, peer, buffer, two, eight};
        if (row.before == Port::open) {
            ASSERT_EQ(quenlex_open(peer.path().c_str(), 9600), 1) << quenlex_getError();
            peer.send_settled(kQueued);
        }

        SetLastError(kSentinel);
        int result;
        {
            Watchdog watchdog(20s, row.name);
            result = row.call(context);
        }
        DWORD error = GetLastError();

        EXPECT_EQ(result, row.result);
        if (row.error != kNotLookedAt) {
            EXPECT_EQ(error, row.error);
        }
        if (row.check) {
            EXPECT_EQ(row.check(context), "");
        }
        if (row.after == Port::open) {
            // Still a working port, and the bad call sent nothing and ate nothing.
            EXPECT_EQ(port_slot(), Slot::open);
            EXPECT_EQ(peer.receive_all(20), "");
            if (row.before == Port::open) {
                EXPECT_EQ(peer.queued_for_device(), 3 - row.consumed);
            }
        } else {
            EXPECT_EQ(port_slot(), Slot::empty);
            EXPECT_EQ(peer.receive_all(20), "");
        }
        EXPECT_TRUE(buffer.untouched_from(0, kFill) || row.check);
        quenlex_close();
    }
    EXPECT_EQ(open_fd_count(), fds) << "descriptors leaked";
}

INSTANTIATE_TEST_SUITE_P(Rows, BadInput, testing::ValuesIn(rows()),
                         [](const testing::TestParamInfo<Row> &info) { return info.param.name; });

}  // namespace
}  // namespace quenlex::test

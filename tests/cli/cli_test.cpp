// The quenlex command-line host, run as its own process against pseudo-terminal peers.
//
// quenlex.h comes before gtest: its TEST function would clash with gtest's TEST macro.
#include "quenlex.h"
// (separate block: keeps it first)
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>

#include "cli_process.h"
#include "pty_peer.h"
#include "quenlex_version.h"

namespace quenlex_test {
namespace {

using namespace std::chrono_literals;

int count_lines(const std::string &text) {
    int lines = 0;
    for (char c : text) {
        lines += c == '\n';
    }
    return lines;
}

// The output line that names the port, e.g. "/dev/pts/3   available".
std::string line_of(const std::string &out, const std::string &port) {
    std::size_t at = out.find(port + " ");
    if (at == std::string::npos) {
        return "";
    }
    return out.substr(at, out.find('\n', at) - at);
}

// --- send -------------------------------------------------------------------------------

struct SendRow {
    const char *name;
    std::vector<std::string> options;
    std::string text;      // TEXT as typed
    std::string expected;  // the bytes that must reach the device
    std::string reply;     // what the device answers
    std::string printed;   // what send must print
};

void PrintTo(const SendRow &row, std::ostream *out) { *out << row.name; }

class SendTest : public testing::TestWithParam<SendRow> {};

TEST_P(SendTest, SendsTheBytesAndPrintsTheReply) {
    const SendRow &row = GetParam();
    PtyPeer peer;
    std::string received;
    peer.run([&](const std::atomic<bool> &) {
        received = peer.read(row.expected.size(), 20s);
        if (received == row.expected) {
            peer.write(row.reply);
        }
    });
    // A generous wait for the reply: the peer thread may be slow to run on a busy machine.
    std::vector<std::string> args{"send", peer.port(), "--wait", "10000"};
    args.insert(args.end(), row.options.begin(), row.options.end());
    args.push_back(row.text);
    CliResult result = run_cli(args);
    peer.stop();

    EXPECT_EQ(received, row.expected);
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, row.printed);
    EXPECT_EQ(result.err, "");
}

INSTANTIATE_TEST_SUITE_P(
    Cli, SendTest,
    testing::Values(SendRow{"Text", {}, "PING\\r\\n", "PING\r\n", "PONG\r\n", "PONG\r\n"},
                    SendRow{"Hex",
                            {"--hex", "--baud", "9600"},
                            "\\x02go\\003\\t",
                            std::string("\x02go\x03\t"),
                            std::string("\x01\xff\x00"
                                        "A",
                                        4),
                            "01 ff 00 41\n"},
                    SendRow{"DashText", {"--"}, "--help", "--help", "ok", "ok"}),
    [](const testing::TestParamInfo<SendRow> &info) { return info.param.name; });

TEST(CliSend, SilentDeviceGivesStatus3) {
    PtyPeer peer;
    CliResult result = run_cli({"send", peer.port(), "hello", "--wait", "100"});
    EXPECT_EQ(peer.read(5, 5s), "hello");
    EXPECT_EQ(result.status, 3) << result.err;
    EXPECT_NE(result.err.find("no reply"), std::string::npos) << result.err;
}

// --- listen ------------------------------------------------------------------------------

// The peer keeps sending "abc" until it is stopped, whenever the CLI starts reading.
void keep_sending(PtyPeer &peer, const std::string &chunk) {
    peer.run([&peer, chunk](const std::atomic<bool> &stop) {
        while (!stop) {
            peer.write(chunk);
            std::this_thread::sleep_for(20ms);
        }
    });
}

TEST(CliListen, CountStopsAfterThatManyBytes) {
    struct Row {
        std::vector<std::string> options;
        std::string printed;
    };
    const Row rows[] = {{{"--count", "5"}, "abcab"}, {{"--count=4", "--hex"}, "61 62 63 61\n"}};
    for (const Row &row : rows) {
        PtyPeer peer;
        keep_sending(peer, "abc");
        std::vector<std::string> args{"listen", peer.port()};
        args.insert(args.end(), row.options.begin(), row.options.end());
        CliResult result = run_cli(args);
        peer.stop();
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, row.printed);
    }
}

TEST(CliListen, CtrlCClosesThePortAndExitsCleanly) {
    PtyPeer peer;
    keep_sending(peer, "xyz");
    CliProcess listen({"listen", peer.port()});
    ASSERT_TRUE(listen.wait_for_output("xyz", 20s));
    listen.signal(SIGINT);
    CliResult result = listen.finish(20s);
    peer.stop();
    EXPECT_TRUE(result.exited) << "listen did not end by itself after SIGINT";
    EXPECT_EQ(result.status, 0);
    EXPECT_NE(result.err.find("stopped by interrupt"), std::string::npos) << result.err;
    EXPECT_EQ(quenlex_available(peer.port().c_str()), 1);
}

TEST(CliListen, DeviceGoingAwayIsAFailure) {
    PtyPeer peer;
    keep_sending(peer, "q");
    CliProcess listen({"listen", peer.port()});
    ASSERT_TRUE(listen.wait_for_output("q", 20s));
    peer.stop();
    peer.hang_up();
    CliResult result = listen.finish(20s);
    EXPECT_TRUE(result.exited);
    EXPECT_EQ(result.status, 1);
    EXPECT_NE(result.err.find("quenlex_read(buffer, "), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("failed: Win32 error "), std::string::npos) << result.err;
}

// --- ports -------------------------------------------------------------------------------

// Holds a port through the library in a child process until released.
class PortHolder {
  public:
    explicit PortHolder(const std::string &port) {
        int to_child[2];
        int to_parent[2];
        if (pipe(to_child) != 0 || pipe(to_parent) != 0) {
            return;
        }
        pid_ = fork();
        if (pid_ == 0) {
            close(to_child[1]);
            close(to_parent[0]);
            char opened = static_cast<char>(quenlex_open(port.c_str(), 115200));
            (void)!::write(to_parent[1], &opened, 1);
            char ignored;
            (void)!::read(to_child[0], &ignored, 1);  // until the parent lets go
            quenlex_close();
            _exit(0);
        }
        close(to_child[0]);
        close(to_parent[1]);
        release_fd_ = to_child[1];
        char opened = 0;
        opened_ = ::read(to_parent[0], &opened, 1) == 1 && opened == 1;
        close(to_parent[0]);
    }
    ~PortHolder() { release(); }

    bool opened() const { return opened_; }

    void release() {
        if (release_fd_ >= 0) {
            close(release_fd_);
            release_fd_ = -1;
        }
        if (pid_ > 0) {
            waitpid(pid_, nullptr, 0);
            pid_ = -1;
        }
    }

  private:
    pid_t pid_ = -1;
    int release_fd_ = -1;
    bool opened_ = false;
};

TEST(CliPorts, ListsAPortAsAvailableThenBusyWhileHeld) {
    PtyPeer peer;
    CliResult free_port = run_cli({"ports", peer.port()});
    EXPECT_EQ(free_port.status, 0);
    EXPECT_NE(line_of(free_port.out, peer.port()).find(" available"), std::string::npos)
        << free_port.out;

    PortHolder holder(peer.port());
    ASSERT_TRUE(holder.opened());
    CliResult held = run_cli({"ports", peer.port()});
    EXPECT_EQ(held.status, 0);
    std::string line = line_of(held.out, peer.port());
    EXPECT_NE(line.find("not available: Win32 error 5 (ERROR_ACCESS_DENIED"), std::string::npos)
        << held.out;

    holder.release();
    CliResult again = run_cli({"ports", peer.port()});
    EXPECT_NE(line_of(again.out, peer.port()).find(" available"), std::string::npos) << again.out;
    EXPECT_EQ(line_of(again.out, peer.port()).find("not available"), std::string::npos);
}

// --- configure ---------------------------------------------------------------------------

TEST(CliConfigure, WithoutATerminalTheDialogIsNotShownAndSaysSo) {
    PtyPeer peer;  // the CLI runs in a session of its own: no controlling terminal
    CliResult result = run_cli({"configure", peer.port()});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("quenlex_configure(\"" + peer.port() +
                              "\") -> 1, but the dialog ended with Win32 error 50 "
                              "(ERROR_NOT_SUPPORTED"),
              std::string::npos)
        << result.out;
    EXPECT_EQ(quenlex_available(peer.port().c_str()), 1);
}

// --- failures of library calls -------------------------------------------------------------

TEST(CliErrors, MissingDeviceReportsWin32Error2AndExits1) {
    const std::string missing = "/dev/quenlex-test-no-such-device";
    struct Row {
        std::vector<std::string> args;
        std::string operation;
    };
    const Row rows[] = {
        {{"send", missing, "AT\\r"}, "quenlex_open(\"" + missing + "\", 115200)"},
        {{"listen", missing, "--baud", "9600"}, "quenlex_open(\"" + missing + "\", 9600)"},
        {{"configure", missing}, "quenlex_configure(\"" + missing + "\")"},
    };
    for (const Row &row : rows) {
        CliResult result = run_cli(row.args);
        EXPECT_EQ(result.status, 1) << row.args[0];
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, "quenlex: " + row.operation +
                                  " failed: Win32 error 2 (ERROR_FILE_NOT_FOUND: the device or "
                                  "file does not exist)\n");
    }
}

// --- bad usage ---------------------------------------------------------------------------

struct UsageRow {
    std::vector<std::string> args;  // "PORT" stands for the watched pseudo-terminal
    std::string says;               // a part of the one-line message
};

TEST(CliUsage, BadInputExits2WithOneLineAndOpensNothing) {
    PtyPeer peer;
    const UsageRow rows[] = {
        {{}, "missing COMMAND"},
        {{"frobnicate"}, "unknown command \"frobnicate\""},
        {{"help", "nope"}, "unknown command \"nope\""},
        {{"send"}, "missing PORT"},
        {{"send", "PORT"}, "missing TEXT"},
        {{"send", "PORT", "x", "y"}, "unexpected argument \"y\""},
        {{"send", "", "x"}, "PORT is empty"},
        {{"send", "PORT", "x", "--speed", "9600"}, "unknown option --speed"},
        {{"send", "PORT", "x", "--hex=1"}, "--hex takes no value"},
        {{"send", "PORT", "x", "--baud"}, "--baud needs a value"},
        {{"send", "PORT", "x", "--baud", "fast"}, "--baud: \"fast\" is not a positive integer"},
        {{"send", "PORT", "x", "--baud", "0"}, "--baud: \"0\" is not a positive integer"},
        {{"send", "PORT", "x", "--baud", "-9600"}, "--baud: \"-9600\" is not a positive integer"},
        {{"send", "PORT", "x", "--baud", "9600.5"}, "is not a positive integer"},
        {{"send", "PORT", "x", "--baud", "2147483648"}, "is above the largest allowed"},
        {{"send", "PORT", "x", "--read", "-1"}, "--read: \"-1\" is not a whole number"},
        {{"send", "PORT", "x", "--wait", "soon"}, "--wait"},
        {{"send", "PORT", "bad\\q"}, "TEXT: unknown escape \\q"},
        {{"send", "PORT", "\\xg"}, "TEXT: \\x needs one or two hex digits"},
        {{"send", "PORT", "end\\"}, "TEXT: a backslash at the end"},
        {{"send", "PORT", "\\400"}, "TEXT: octal escape \\400 is above \\377"},
        {{"send", "PORT", "a\\0b"}, "TEXT: a zero byte cannot be sent"},
        {{"listen"}, "missing PORT"},
        {{"listen", "PORT", "--count", "ten"}, "--count: \"ten\" is not a positive integer"},
        {{"listen", "PORT", "--count", "0"}, "--count"},
        {{"listen", "PORT", "--read", "5"}, "unknown option --read"},
        {{"configure"}, "missing PORT"},
        {{"configure", "PORT", "--baud", "9600"}, "unknown option --baud"},
        {{"ports", "--all"}, "unknown option --all"},
        {{"ports", ""}, "an empty DEVICE name"},
        {{"probe", "PORT"}, "unexpected argument"},
        {{"demo", "--fast"}, "unknown option --fast"},
    };

    int watcher = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watcher, 0);
    ASSERT_GE(inotify_add_watch(watcher, peer.port().c_str(), IN_OPEN), 0);
    for (const UsageRow &row : rows) {
        std::vector<std::string> args = row.args;
        std::string shown;
        for (std::string &arg : args) {
            if (arg == "PORT") {
                arg = peer.port();
            }
            shown += " " + arg;
        }
        CliResult result = run_cli(args);
        EXPECT_TRUE(result.exited) << shown;
        EXPECT_EQ(result.status, 2) << shown;
        EXPECT_EQ(result.out, "") << shown;
        EXPECT_EQ(count_lines(result.err), 1) << shown << ": " << result.err;
        EXPECT_EQ(result.err.rfind("quenlex", 0), 0u) << shown << ": " << result.err;
        EXPECT_NE(result.err.find(row.says), std::string::npos) << shown << ": " << result.err;

        char events[4096];
        EXPECT_LT(read(watcher, events, sizeof events), 0) << shown << ": the port was opened";
    }
    close(watcher);
}

TEST(CliUsage, EveryCommandHasHelp) {
    for (const char *command : {"ports", "send", "listen", "configure", "probe", "demo"}) {
        CliResult result = run_cli({command, "--help"});
        EXPECT_EQ(result.status, 0) << command;
        EXPECT_EQ(result.out.rfind(std::string("usage: quenlex ") + command, 0), 0u) << result.out;
        EXPECT_NE(result.out.find("exit status"), std::string::npos) << command;
    }
    CliResult top = run_cli({"--help"});
    EXPECT_EQ(top.status, 0);
    EXPECT_NE(top.out.find("2 bad usage"), std::string::npos) << top.out;
}

// --- probe, the virtual device and the demo ------------------------------------------------------

TEST(CliProbe, ReportsTestsAnswerAndTheVersion) {
    CliResult result = run_cli({"probe"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.out.find("TEST(out) -> 6, out = \"DENEME\""), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("version   " QUENLEX_VERSION_STRING), std::string::npos)
        << result.out;
}

TEST(CliVirtual, SendToTheVirtualDevice) {
    struct Row {
        std::vector<std::string> args;
        std::string printed;
    };
    const Row rows[] = {
        {{"send", "virtual", "ATI\\r"}, "quenlex virtual device " QUENLEX_VERSION_STRING "\r\n"},
        {{"send", "virtual", "at\\r", "--hex"}, "4f 4b 0d 0a\n"},
        {{"send", "virtual", "hello there\\n"}, "hello there\r\n"},
    };
    for (const Row &row : rows) {
        std::vector<std::string> args = row.args;
        args.insert(args.end(), {"--wait", "10000"});
        CliResult result = run_cli(args);
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.out, row.printed);
    }
}

TEST(CliDemo, RunsTheTypicalExchangeEndToEnd) {
    CliResult result = run_cli({"demo"});
    ASSERT_TRUE(result.exited);
    EXPECT_EQ(result.status, 0) << result.out << result.err;
    EXPECT_EQ(result.err, "");
    const char *const steps[] = {
        R"(TEST\(out\) +-> 6, out = "DENEME")",
        R"(quenlex_available\("/dev/pts/\d+"\) +-> 1: the port can be opened)",
        R"(quenlex_open\("/dev/pts/\d+", 115200\) +-> 1: open)",
        R"(quenlex_available\("/dev/pts/\d+"\) +-> 0: our own open holds the port)",
        R"(quenlex_getError\(\) +-> 5 \(ERROR_ACCESS_DENIED: )",
        R"(quenlex_read\(buffer, 257\) +-> 0: nothing has come)",
        R"(quenlex_write\("ATI\\r"\) +-> 1: sent)",
        R"(quenlex_read\(buffer, 257\) +-> \d+: "quenlex virtual device [0-9.]+)",
        R"(quenlex_write\("AT\\r"\) +-> 1: sent)",
        R"(quenlex_readChar\(\) +-> 79 'O')",
        R"(quenlex_readChar\(\) +-> 75 'K')",
        R"(quenlex_readChar\(\) +-> 13 '\\r')",
        R"(quenlex_readChar\(\) +-> 10 '\\n')",
        R"(quenlex_close\(\) +-> \(no result\): the port is closed)",
        R"(quenlex_available\("/dev/pts/\d+"\) +-> 1: free again)",
        R"(demo finished: every call gave the expected result)",
    };
    std::size_t from = 0;
    for (const char *step : steps) {
        std::smatch match;
        std::string rest = result.out.substr(from);
        ASSERT_TRUE(std::regex_search(rest, match, std::regex(step)))
            << "missing, in order: " << step << "\n"
            << result.out;
        from += static_cast<std::size_t>(match.position(0) + match.length(0));
    }
}

}  // namespace
}  // namespace quenlex_test

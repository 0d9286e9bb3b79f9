// quenlex listen PORT: print what arrives until Ctrl-C or --count bytes.
//
// quenlex_readChar waits inside the library until a byte comes, and no signal ends that
// wait: Ctrl-C could then only kill the process, leaving the port to the operating system
// to close. So listen receives with quenlex_read in short calls (a first byte is awaited
// for 5 ms, a burst for at most about 0.2 s) and checks between them a flag that Ctrl-C
// sets; it then closes the port and exits with status 0.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "interrupt.h"
#include "port_session.h"
#include "raw_output.h"
#include "receiver.h"
#include "report.h"

namespace quenlex_cli {
namespace {

// Bytes asked for per quenlex_read: a burst that stops short keeps the call waiting for at
// most 3 ms per byte asked for, about 0.2 s here, which bounds how late Ctrl-C is noticed.
constexpr int kChunk = 64;
constexpr int kHexPerLine = 16;

const char kHelp[] =
    "usage: quenlex listen PORT [--baud N] [--count N] [--hex]\n"
    "\n"
    "Opens PORT and prints the bytes that arrive, as they arrive, until Ctrl-C or until\n"
    "N bytes have come; then closes the port.\n"
    "\n"
    "options:\n"
    "  --baud N    line speed in bit/s (default 115200); 8 data bits, no parity, 1 stop\n"
    "  --count N   stop after N bytes\n"
    "  --hex       print the bytes as hex, 16 to a line, instead of as they are\n"
    "\n"
    "Ctrl-C: listen receives with quenlex_read in short calls rather than with\n"
    "quenlex_readChar, which waits inside the library until a byte comes and cannot be\n"
    "interrupted. Ctrl-C only sets a flag; listen notices it within about 0.2 s, closes\n"
    "the port and exits with status 0.\n"
    "\n"
    "exit status: 0 done or interrupted; 1 a library call failed (the message names it\n"
    "and its Win32 error), or standard output could not be written; 2 bad usage.\n";

// Writes the bytes as they came or as hex, and flushes them at once.
class Printer {
  public:
    explicit Printer(bool hex) : hex_(hex) {}

    bool print(const std::string &bytes) {
        if (!hex_) {
            std::fwrite(bytes.data(), 1, bytes.size(), stdout);
        } else {
            for (char c : bytes) {
                std::string byte = hex_bytes(std::string(1, c));
                std::fputs(column_ == 0 ? "" : " ", stdout);
                std::fputs(byte.c_str(), stdout);
                if (++column_ == kHexPerLine) {
                    std::fputc('\n', stdout);
                    column_ = 0;
                }
            }
        }
        return std::fflush(stdout) == 0 && !std::ferror(stdout);
    }

    bool finish() {
        if (hex_ && column_ != 0) {
            std::fputc('\n', stdout);
            column_ = 0;
        }
        return std::fflush(stdout) == 0 && !std::ferror(stdout);
    }

  private:
    bool hex_;
    int column_ = 0;
};

const std::vector<OptionSpec> kOptions = {{"--baud", true}, {"--count", true}, {"--hex", false}};

int run(const ParsedArgs &args) {
    expect_positionals(args, {"PORT"});
    const std::string port = port_argument(args);
    const int baud = baud_option(args);
    const int count = args.values.count("--count")
                          ? parse_number("--count", args.values.at("--count"), 1, INT_MAX)
                          : 0;

    catch_interrupts();
    PortSession session;
    if (!session.resolve(port) || !session.open(baud)) {
        return kExitFailed;
    }

    if (!args.has("--hex")) {
        make_stdout_binary();
    }
    Printer printer(args.has("--hex"));
    Receiver receiver;
    long long received = 0;
    while (!interrupted() && (count == 0 || received < count)) {
        int room =
            count == 0 ? kChunk : static_cast<int>(std::min<long long>(kChunk, count - received));
        std::string bytes;
        received += receiver.read(room, bytes);
        if (!bytes.empty() && !printer.print(bytes)) {
            int error = errno;
            session.close();
            report_problem(std::string("standard output: ") + std::strerror(error));
            return kExitFailed;
        }
        if (receiver.failed()) {
            session.close();
            printer.finish();
            report_failure(call_text("quenlex_read", "buffer, " + std::to_string(room + 1)),
                           receiver.error());
            return kExitFailed;
        }
    }
    session.close();
    if (!printer.finish()) {
        report_problem(std::string("standard output: ") + std::strerror(errno));
        return kExitFailed;
    }
    if (interrupted()) {
        std::fprintf(stderr, "quenlex: listen stopped by interrupt after %lld bytes\n", received);
    }
    return kExitOk;
}

}  // namespace

const Command kListenCommand = {"listen", "print the bytes that arrive at a port", kHelp, kOptions,
                                run};

}  // namespace quenlex_cli

// quenlex demo: the typical exchange of a host with a device, step by step, against the
// built-in virtual device. Every line shows one library call and what it returned.
#include <chrono>
#include <cstdio>
#include <string>

#include "commands.h"
#include "escapes.h"
#include "port_session.h"
#include "quenlex.h"
#include "receiver.h"
#include "report.h"
#include "virtual_device.h"
#include "win32_errors.h"

namespace quenlex_cli {
namespace {

constexpr int kDemoBaud = 115200;
constexpr int kReplyRoom = 256;
// Far longer than the virtual device takes; only a stuck machine gets near it.
constexpr std::chrono::seconds kReplyWait{10};
constexpr int kLongestLine = 128;

const char kHelp[] =
    "usage: quenlex demo\n"
    "\n"
    "Runs the typical exchange of a host with a device through the library, against the\n"
    "built-in virtual device (a pseudo-terminal whose other end answers AT with OK, ATI\n"
    "with its name and echoes other lines), and prints each call with its result:\n"
    "TEST, quenlex_available, quenlex_open at 115200 bit/s, quenlex_write of a command,\n"
    "quenlex_read of the reply (asked again while nothing has come: its first byte is\n"
    "awaited only 5 ms), quenlex_readChar byte by byte, quenlex_getError, quenlex_close.\n"
    "No hardware needed; POSIX only (pseudo-terminals).\n"
    "\n"
    "exit status: 0 every step gave the expected result; 1 a step failed (the message\n"
    "names the call and its Win32 error); 2 bad usage.\n";

void step(const std::string &call, const std::string &result) {
    std::printf("  %-38s -> %s\n", call.c_str(), result.c_str());
    std::fflush(stdout);
}

std::string char_text(int value) {
    std::string byte(1, static_cast<char>(value));
    std::string quoted = quote_bytes(byte);
    return std::to_string(value) + " '" + quoted.substr(1, quoted.size() - 2) + "'";
}

// Fails the demo with the error of the call just made.
int failed(const std::string &call) {
    int error = quenlex_getError();
    report_failure(call, error);
    return kExitFailed;
}

bool write_command(const std::string &command) {
    std::string call = call_text("quenlex_write", quote_bytes(command));
    if (quenlex_write(command.c_str()) == 0) {
        failed(call);
        return false;
    }
    step(call, "1: sent");
    return true;
}

// Reads one reply line with quenlex_read as a host does: asks again while nothing has
// come, then until the line end is in.
bool read_reply_line(std::string &line) {
    using Clock = std::chrono::steady_clock;
    const std::string call = call_text("quenlex_read", "buffer, " + std::to_string(kReplyRoom + 1));
    const Clock::time_point deadline = Clock::now() + kReplyWait;
    Receiver receiver;
    int empty_reads = 0;
    while (line.empty() || line.back() != '\n') {
        std::string chunk;
        int count = receiver.read(kReplyRoom, chunk);
        if (receiver.failed()) {
            report_failure(call, receiver.error());
            return false;
        }
        if (count == 0) {
            if (Clock::now() >= deadline) {
                report_problem("no reply line from the virtual device within 10 s");
                return false;
            }
            ++empty_reads;
            continue;
        }
        if (empty_reads > 0) {
            step(call, "0, " + std::to_string(empty_reads) +
                           " times: nothing came within 5 ms yet, so the host asked again");
            empty_reads = 0;
        }
        step(call, std::to_string(count) + ": " + quote_bytes(chunk));
        line += chunk;
    }
    return true;
}

bool show_silence() {
    const std::string call = call_text("quenlex_read", "buffer, " + std::to_string(kReplyRoom + 1));
    Receiver receiver;
    std::string bytes;
    int count = receiver.read(kReplyRoom, bytes);
    if (receiver.failed()) {
        report_failure(call, receiver.error());
        return false;
    }
    if (count != 0) {
        report_problem("the virtual device spoke unasked: " + quote_bytes(bytes));
        return false;
    }
    step(call, "0: nothing has come (a first byte is awaited 5 ms)");
    return true;
}

int run(const ParsedArgs &args) {
    expect_positionals(args, {});
    std::string why_not;
    std::unique_ptr<VirtualDevice> device = VirtualDevice::start(why_not);
    if (device == nullptr) {
        report_problem("demo: virtual device: " + why_not);
        return kExitFailed;
    }
    const std::string port = device->port_name();
    const std::string quoted_port = quote_bytes(port);
    std::printf("quenlex demo: a host's exchange with a device, one library call per line\n");
    std::printf(
        "virtual device %s: answers \"AT\" with \"OK\", \"ATI\" with its name, echoes "
        "other lines\n\n",
        port.c_str());

    char out[8] = {};
    int probe = TEST(out);
    out[sizeof out - 1] = '\0';
    step("TEST(out)", std::to_string(probe) + ", out = \"" + out + "\"");

    std::string call = call_text("quenlex_available", quoted_port);
    if (quenlex_available(port.c_str()) == 0) {
        return failed(call);
    }
    step(call, "1: the port can be opened");

    // The session closes the port on every way out, before the virtual device goes.
    PortSession session;
    session.resolve(port);
    if (!session.open(kDemoBaud)) {
        return kExitFailed;
    }
    step(call_text("quenlex_open", quoted_port + ", " + std::to_string(kDemoBaud)),
         "1: open, 115200 bit/s, 8 data bits, no parity, 1 stop bit");

    int busy = quenlex_available(port.c_str());
    int busy_error = quenlex_getError();
    step(call_text("quenlex_available", quoted_port),
         std::to_string(busy) +
             (busy ? ": (the platform lets a probe through)" : ": our own open holds the port"));
    if (busy == 0) {
        step("quenlex_getError()", std::to_string(busy_error) + " (" +
                                       win32_error_name(busy_error) + ": " +
                                       win32_error_words(busy_error) + ")");
    }

    // Before any command nothing comes: quenlex_read gives 0 once its 5 ms are up.
    if (!show_silence()) {
        return kExitFailed;
    }

    const std::string identify = "ATI\r";
    std::string reply;
    if (!write_command(identify) || !read_reply_line(reply)) {
        return kExitFailed;
    }
    if (reply != virtual_device_answer("ATI")) {
        report_problem("unexpected reply " + quote_bytes(reply));
        return kExitFailed;
    }

    if (!write_command("AT\r")) {
        return kExitFailed;
    }
    std::string ok;
    while (ok.empty() || ok.back() != '\n') {
        // quenlex_readChar waits as long as it takes; the virtual device answers at once.
        int value = quenlex_readChar();
        if (value == 0) {
            return failed("quenlex_readChar()");
        }
        step("quenlex_readChar()", char_text(value));
        ok += static_cast<char>(value);
        if (ok.size() > kLongestLine) {
            report_problem("no line end in " + quote_bytes(ok));
            return kExitFailed;
        }
    }
    if (ok != virtual_device_answer("AT")) {
        report_problem("unexpected reply " + quote_bytes(ok));
        return kExitFailed;
    }

    session.close();
    step("quenlex_close()", "(no result): the port is closed");
    call = call_text("quenlex_available", quoted_port);
    if (quenlex_available(port.c_str()) == 0) {
        return failed(call);
    }
    step(call, "1: free again");
    std::printf("\ndemo finished: every call gave the expected result\n");
    return kExitOk;
}

}  // namespace

const Command kDemoCommand = {
    "demo", "the typical exchange with the built-in virtual device, step by step", kHelp, {}, run};

}  // namespace quenlex_cli

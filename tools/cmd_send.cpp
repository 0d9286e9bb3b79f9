// quenlex send PORT TEXT: open, write, collect the reply, print it, close.
#include <cstdio>

#include "commands.h"
#include "escapes.h"
#include "port_session.h"
#include "quenlex.h"
#include "raw_output.h"
#include "receiver.h"
#include "report.h"

namespace quenlex_cli {
namespace {

constexpr int kDefaultReplySize = 256;
constexpr int kLargestReplySize = 1 << 20;
constexpr int kDefaultWaitMs = 1000;
constexpr int kLongestWaitMs = 3600 * 1000;

const char kHelp[] =
    "usage: quenlex send PORT TEXT [--baud N] [--read SIZE] [--wait MS] [--hex]\n"
    "\n"
    "Opens PORT (quenlex_open), sends TEXT (quenlex_write), collects the reply\n"
    "(quenlex_read), prints it on standard output and closes the port (quenlex_close).\n"
    "\n"
    "PORT    the device, e.g. /dev/ttyUSB0 or COM3; \"virtual\" for the built-in virtual\n"
    "        device (POSIX only), which answers AT with OK and ATI with its name and\n"
    "        echoes other lines\n"
    "TEXT    the bytes to send; C escapes stand for the others: \\r \\n \\t \\\\ \\\" \\e,\n"
    "        \\xHH (one or two hex digits), \\ooo (octal). A zero byte cannot be sent:\n"
    "        quenlex_write sends text up to its first zero byte. Put -- before a TEXT\n"
    "        that starts with a dash.\n"
    "\n"
    "options:\n"
    "  --baud N      line speed in bit/s (default 115200); 8 data bits, no parity, 1 stop\n"
    "  --read SIZE   collect at most SIZE bytes of reply (default 256); 0: send only\n"
    "  --wait MS     how long to keep asking for the reply's first byte (default 1000).\n"
    "                quenlex_read waits only 5 ms for a first byte, so send asks again\n"
    "                until the reply starts; the reply is over at the first quiet read\n"
    "  --hex         print the reply as hex bytes (\"4f 4b 0d 0a\") instead of as is\n"
    "\n"
    "exit status: 0 sent (and a reply printed); 1 a library call failed: the message\n"
    "names the call and its Win32 error; 2 bad usage; 3 no reply within --wait.\n"
    "example: quenlex send /dev/ttyUSB0 'AT\\r' --baud 9600\n";

const std::vector<OptionSpec> kOptions = {
    {"--baud", true}, {"--read", true}, {"--wait", true}, {"--hex", false}};

int run(const ParsedArgs &args) {
    expect_positionals(args, {"PORT", "TEXT"});
    const std::string port = port_argument(args);
    const int baud = baud_option(args);
    const int reply_size =
        args.values.count("--read")
            ? parse_number("--read", args.values.at("--read"), 0, kLargestReplySize)
            : kDefaultReplySize;
    const int wait_ms = args.values.count("--wait")
                            ? parse_number("--wait", args.values.at("--wait"), 0, kLongestWaitMs)
                            : kDefaultWaitMs;
    Unescaped text = unescape(args.positionals[1]);
    if (!text.ok) {
        throw UsageError("TEXT: " + text.error);
    }
    if (text.bytes.find('\0') != std::string::npos) {
        throw UsageError("TEXT: a zero byte cannot be sent (quenlex_write stops at it)");
    }

    PortSession session;
    if (!session.resolve(port) || !session.open(baud)) {
        return kExitFailed;
    }
    if (quenlex_write(text.bytes.c_str()) == 0) {
        int error = quenlex_getError();
        report_failure(call_text("quenlex_write", quote_bytes(text.bytes)), error);
        return kExitFailed;
    }
    if (reply_size == 0) {
        return kExitOk;
    }
    Reply reply = collect_reply(reply_size, wait_ms);
    session.close();

    if (args.has("--hex")) {
        if (!reply.bytes.empty()) {
            std::printf("%s\n", hex_bytes(reply.bytes).c_str());
        }
    } else {
        make_stdout_binary();
        std::fwrite(reply.bytes.data(), 1, reply.bytes.size(), stdout);
    }
    std::fflush(stdout);

    if (reply.failed) {
        report_failure(call_text("quenlex_read", "buffer, size"), reply.error);
        return kExitFailed;
    }
    if (reply.bytes.empty()) {
        report_problem("no reply from " + session.device() + " within " + std::to_string(wait_ms) +
                       " ms");
        return kExitNoReply;
    }
    return kExitOk;
}

}  // namespace

const Command kSendCommand = {"send", "send TEXT to a port and print the reply", kHelp, kOptions,
                              run};

}  // namespace quenlex_cli

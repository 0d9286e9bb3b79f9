// quenlex configure PORT: the port settings dialog, through quenlex_configure.
#include <cstdio>

#include "commands.h"
#include "escapes.h"
#include "port_session.h"
#include "quenlex.h"
#include "report.h"
#include "win32_errors.h"

namespace quenlex_cli {
namespace {

constexpr int kNotSupported = 50;  // ERROR_NOT_SUPPORTED: no terminal for the dialog

const char kHelp[] =
    "usage: quenlex configure PORT\n"
    "\n"
    "Shows the port settings dialog for PORT (quenlex_configure): speed, data bits,\n"
    "parity, stop bits and flow control. On Windows it is the system's own dialog; on\n"
    "POSIX a text dialog on this terminal. The library opens the port for the length of\n"
    "the call and writes back what the dialog leaves (after a cancel: what was there).\n"
    "\n"
    "exit status: 0 the dialog ran (confirmed or cancelled: the library does not tell);\n"
    "1 the port could not be opened or its settings read (the message gives the Win32\n"
    "error); 2 bad usage.\n";

int run(const ParsedArgs &args) {
    expect_positionals(args, {"PORT"});
    const std::string port = port_argument(args);

    PortSession session;
    if (!session.resolve(port)) {
        return kExitFailed;
    }
    const std::string call = call_text("quenlex_configure", quote_bytes(session.device()));
    // The result is 1 after a cancel too; a new error code left behind tells which.
    int before = quenlex_getError();
    if (quenlex_configure(session.device().c_str()) == 0) {
        int error = quenlex_getError();
        report_failure(call, error);
        return kExitFailed;
    }
    int after = quenlex_getError();
    if (after == 0 || after == before) {
        std::printf("%s -> 1: the settings the dialog left were written to the port\n",
                    call.c_str());
        return kExitOk;
    }
    // A cancelled dialog, or one that could not be shown, leaves the settings as they were.
    std::printf("%s -> 1, but the dialog ended with %s: the port keeps its settings\n",
                call.c_str(), describe_win32_error(after).c_str());
    if (after == kNotSupported) {
        std::printf(
            "note: on POSIX the dialog runs on the controlling terminal; run quenlex "
            "configure from one\n");
    }
    return kExitOk;
}

}  // namespace

const Command kConfigureCommand = {"configure", "show the port settings dialog", kHelp, {}, run};

}  // namespace quenlex_cli

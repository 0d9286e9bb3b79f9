// The subcommands of the quenlex tool and the exit statuses they share.
#ifndef QUENLEX_TOOLS_COMMANDS_H
#define QUENLEX_TOOLS_COMMANDS_H

#include <vector>

#include "options.h"

namespace quenlex_cli {

enum ExitStatus {
    kExitOk = 0,
    kExitFailed = 1,   // a library call failed (the message gives its Win32 error), or the
                       // virtual device could not be started
    kExitUsage = 2,    // bad command line; nothing was opened
    kExitNoReply = 3,  // send: the device did not answer within --wait
};

struct Command {
    const char *name;
    const char *summary;  // one line for the command list
    const char *help;     // the text of "quenlex NAME --help"
    std::vector<OptionSpec> options;
    // Runs the command. Throws UsageError for bad input, always before anything is opened.
    int (*run)(const ParsedArgs &args);
};

extern const Command kPortsCommand;
extern const Command kSendCommand;
extern const Command kListenCommand;
extern const Command kConfigureCommand;
extern const Command kProbeCommand;
extern const Command kDemoCommand;

}  // namespace quenlex_cli

#endif

// quenlex: a command-line host for the quenlex library. It calls only the library's nine
// exported functions, the way any host program would.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "commands.h"
#include "options.h"
#include "quenlex_version.h"

namespace quenlex_cli {
namespace {

const Command *const kCommands[] = {&kPortsCommand,     &kSendCommand,  &kListenCommand,
                                    &kConfigureCommand, &kProbeCommand, &kDemoCommand};

void print_usage(std::FILE *to) {
    std::fprintf(to,
                 "quenlex %s: a command-line host for the quenlex serial port library\n"
                 "\n"
                 "usage: quenlex COMMAND [ARGUMENTS] (quenlex COMMAND --help for each)\n"
                 "\n"
                 "commands:\n",
                 QUENLEX_VERSION_STRING);
    for (const Command *command : kCommands) {
        std::fprintf(to, "  %-10s %s\n", command->name, command->summary);
    }
    std::fprintf(to,
                 "\n"
                 "PORT is a device name (/dev/ttyUSB0, COM3), or \"virtual\" for the built-in\n"
                 "virtual device (POSIX only). Start with: quenlex demo\n"
                 "\n"
                 "exit status: 0 success; 1 a library call failed (the message names the call,\n"
                 "its Win32 error code and what it means); 2 bad usage (nothing was opened);\n"
                 "3 send got no reply.\n");
}

const Command *find_command(const std::string &name) {
    for (const Command *command : kCommands) {
        if (name == command->name) {
            return command;
        }
    }
    return nullptr;
}

int usage_error(const std::string &where, const std::string &message) {
    std::fprintf(stderr, "quenlex%s: %s (see quenlex%s --help)\n", where.c_str(), message.c_str(),
                 where.c_str());
    return kExitUsage;
}

int run(const std::vector<std::string> &args) {
    if (args.empty()) {
        return usage_error("", "missing COMMAND");
    }
    const std::string &first = args[0];
    if (first == "-h" || first == "--help") {
        print_usage(stdout);
        return kExitOk;
    }
    if (first == "--version") {
        std::printf("quenlex %s\n", QUENLEX_VERSION_STRING);
        return kExitOk;
    }
    if (first == "help") {
        if (args.size() == 1) {
            print_usage(stdout);
            return kExitOk;
        }
        const Command *command = find_command(args[1]);
        if (command == nullptr || args.size() > 2) {
            return usage_error("", command == nullptr ? "unknown command \"" + args[1] + "\""
                                                      : "help takes one COMMAND");
        }
        std::fputs(command->help, stdout);
        return kExitOk;
    }

    const Command *command = find_command(first);
    if (command == nullptr) {
        return usage_error("", "unknown command \"" + first + "\"");
    }
    const std::string where = std::string(" ") + command->name;
    try {
        ParsedArgs parsed =
            parse_args(std::vector<std::string>(args.begin() + 1, args.end()), command->options);
        if (parsed.help) {
            std::fputs(command->help, stdout);
            return kExitOk;
        }
        return command->run(parsed);
    } catch (const UsageError &error) {
        return usage_error(where, error.what());
    }
}

}  // namespace
}  // namespace quenlex_cli

int main(int argc, char **argv) {
    try {
        return quenlex_cli::run(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception &error) {
        std::fprintf(stderr, "quenlex: %s\n", error.what());
        return quenlex_cli::kExitFailed;
    }
}

// Command-line options of the subcommands: "--name VALUE", "--name=VALUE", flags, "--".
#ifndef QUENLEX_TOOLS_OPTIONS_H
#define QUENLEX_TOOLS_OPTIONS_H

#include <map>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace quenlex_cli {

// Bad input on the command line: the message names what is wrong, in one line.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct OptionSpec {
    const char *name;  // with its dashes, e.g. "--baud"
    bool takes_value;
};

struct ParsedArgs {
    bool help = false;
    std::vector<std::string> positionals;
    std::map<std::string, std::string> values;  // options given with a value
    std::set<std::string> flags;                // options given without one

    bool has(const std::string &name) const { return values.count(name) || flags.count(name); }
};

// Splits args into positionals and the options of specs. "-h"/"--help" anywhere asks for
// help; "--" makes everything after it positional (for TEXT starting with a dash). Throws
// UsageError for an unknown option or an option without its value.
ParsedArgs parse_args(const std::vector<std::string> &args, const std::vector<OptionSpec> &specs);

// Reads a whole decimal number in [minimum, maximum]; throws UsageError naming the option.
int parse_number(const std::string &option, const std::string &text, int minimum, int maximum);

// Checks the count of positionals; names the first missing one ("missing PORT").
void expect_positionals(const ParsedArgs &parsed, const std::vector<std::string> &names);

}  // namespace quenlex_cli

#endif

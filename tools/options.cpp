#include "options.h"

namespace quenlex_cli {
namespace {

const OptionSpec *find_spec(const std::vector<OptionSpec> &specs, const std::string &name) {
    for (const OptionSpec &spec : specs) {
        if (name == spec.name) {
            return &spec;
        }
    }
    return nullptr;
}

}  // namespace

ParsedArgs parse_args(const std::vector<std::string> &args, const std::vector<OptionSpec> &specs) {
    ParsedArgs parsed;
    bool options_over = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (options_over || arg.size() < 2 || arg[0] != '-') {
            parsed.positionals.push_back(arg);
            continue;
        }
        if (arg == "--") {
            options_over = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            parsed.help = true;
            continue;
        }
        std::string name = arg;
        std::string value;
        bool has_value = false;
        std::size_t equals = arg.find('=');
        if (arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
            has_value = true;
        }
        const OptionSpec *spec = find_spec(specs, name);
        if (spec == nullptr) {
            throw UsageError("unknown option " + name);
        }
        if (!spec->takes_value) {
            if (has_value) {
                throw UsageError(name + " takes no value");
            }
            parsed.flags.insert(name);
            continue;
        }
        if (!has_value) {
            if (i + 1 == args.size()) {
                throw UsageError(name + " needs a value");
            }
            value = args[++i];
        }
        parsed.values[name] = value;
    }
    return parsed;
}

int parse_number(const std::string &option, const std::string &text, int minimum, int maximum) {
    const char *kind = minimum > 0 ? "a positive integer" : "a whole number of 0 or more";
    if (text.empty() || text.size() > 10) {
        throw UsageError(option + ": \"" + text + "\" is not " + kind);
    }
    long long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') {
            throw UsageError(option + ": \"" + text + "\" is not " + kind);
        }
        value = value * 10 + (c - '0');
    }
    if (value < minimum) {
        throw UsageError(option + ": \"" + text + "\" is not " + kind);
    }
    if (value > maximum) {
        throw UsageError(option + ": " + text + " is above the largest allowed, " +
                         std::to_string(maximum));
    }
    return static_cast<int>(value);
}

void expect_positionals(const ParsedArgs &parsed, const std::vector<std::string> &names) {
    if (parsed.positionals.size() < names.size()) {
        throw UsageError("missing " + names[parsed.positionals.size()]);
    }
    if (parsed.positionals.size() > names.size()) {
        throw UsageError("unexpected argument \"" + parsed.positionals[names.size()] + "\"");
    }
}

}  // namespace quenlex_cli

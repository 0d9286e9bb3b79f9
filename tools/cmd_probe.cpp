// quenlex probe: is the library loaded and callable, and which one is it.
#include <cstdio>
#include <cstring>

#include "commands.h"
#include "library_info.h"
#include "quenlex.h"
#include "quenlex_version.h"
#include "report.h"

namespace quenlex_cli {
namespace {

const char kHelp[] =
    "usage: quenlex probe\n"
    "\n"
    "Calls TEST, the library's probe, and shows its answer (6 and \"DENEME\"), the\n"
    "library file the loader took and its version.\n"
    "\n"
    "exit status: 0 TEST answered as it should; 1 it did not; 2 bad usage.\n";

int run(const ParsedArgs &args) {
    expect_positionals(args, {});
    char out[8] = {};
    int result = TEST(out);
    out[sizeof out - 1] = '\0';

    LibraryInfo library = loaded_library();
    std::printf("library   %s\n",
                library.path.empty() ? "(the loader does not say)" : library.path.c_str());
    std::printf("version   %s (this tool was built against %s)\n",
                library.version.empty() ? "unknown" : library.version.c_str(),
                QUENLEX_VERSION_STRING);
    std::printf("TEST(out) -> %d, out = \"%s\"\n", result, out);

    if (result != 6 || std::strcmp(out, "DENEME") != 0) {
        report_problem("TEST answered wrongly: expected 6 and \"DENEME\"");
        return kExitFailed;
    }
    return kExitOk;
}

}  // namespace

const Command kProbeCommand = {
    "probe", "check that the library is loaded and callable", kHelp, {}, run};

}  // namespace quenlex_cli

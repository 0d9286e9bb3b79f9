// Test host for quenlex.dll under Wine: loads the DLL like any program would and runs the
// behaviour cases against COM ports whose devices a Linux-side peer drives.
//
//   quenlex_host behaviour <portA> <portB> <missing>
//   quenlex_host dialog <port>
//
// Results go to stdout ("pass ...", "fail ...", "# note"); requests to the peer are lines
// "? ..." answered on stdin. The exit code is the number of failed checks (capped at 100).
#include <cstdio>
#include <cstring>

#include "context.h"

bool fileIsFree(const std::string &path) {
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(handle);
    return true;
}

namespace {

// An ordinary file next to the host, for the cases that need a name that is no port.
std::string makePlainFile() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    char *slash = std::strrchr(path, '\\');
    std::string file = std::string(path, slash != nullptr ? slash + 1 : path) + "plain.txt";
    HANDLE handle = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    CloseHandle(handle);
    return file;
}

int usage() {
    std::fprintf(stderr,
                 "usage: quenlex_host behaviour <portA> <portB> <missing>\n"
                 "       quenlex_host dialog <port>\n");
    return 100;
}

}  // namespace

int main(int argc, char **argv) {
    bool behaviour = argc == 5 && std::strcmp(argv[1], "behaviour") == 0;
    bool dialog = argc == 3 && std::strcmp(argv[1], "dialog") == 0;
    if (!behaviour && !dialog) {
        return usage();
    }

    static Context ctx;
    ctx.portA = argv[2];
    if (behaviour) {
        ctx.portB = argv[3];
        ctx.missing = argv[4];
    }
    ctx.plainFile = makePlainFile();
    ctx.report.note(format("host of %d bits up", static_cast<int>(8 * sizeof(void *))));

    if (ctx.lib.load(ctx.report)) {
        if (behaviour) {
            runModuleCases(ctx);
            runLifecycleCases(ctx);
            runTransferCases(ctx);
            runConfigureCases(ctx);
        } else {
            runDialogCases(ctx);
        }
    }
    DeleteFileA(ctx.plainFile.c_str());

    std::printf("done %d\n", ctx.report.failures());
    std::fflush(stdout);
    return ctx.report.failures() < 100 ? ctx.report.failures() : 100;
}

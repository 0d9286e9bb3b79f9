#include "library.h"

#include <cstring>

namespace {

// The export table: name and ordinal of each function, and where the host keeps it.
template <typename Fn>
bool resolve(Report &report, HMODULE module, const char *name, WORD ordinal, Fn &slot) {
    FARPROC byName = GetProcAddress(module, name);
    FARPROC byOrdinal = GetProcAddress(module, MAKEINTRESOURCEA(ordinal));
    bool ok = report.check(std::string("resolve ") + name, byName != nullptr && byName == byOrdinal,
                           format("by name %p, by ordinal %u %p", reinterpret_cast<void *>(byName),
                                  ordinal, reinterpret_cast<void *>(byOrdinal)));
    slot = reinterpret_cast<Fn>(reinterpret_cast<void *>(byName));
    return ok;
}

}  // namespace

bool Library::load(Report &report) {
    module = LoadLibraryA("quenlex.dll");
    if (!report.check("load quenlex.dll", module != nullptr,
                      format("LoadLibraryA failed with %lu", GetLastError()))) {
        return false;
    }

    bool ok = true;
    ok &= resolve(report, module, "quenlex_getError", 1, getError);
    ok &= resolve(report, module, "quenlex_available", 2, available);
    ok &= resolve(report, module, "quenlex_close", 3, close);
    ok &= resolve(report, module, "quenlex_configure", 4, configure);
    ok &= resolve(report, module, "TEST", 5, test);
    ok &= resolve(report, module, "quenlex_open", 6, open);
    ok &= resolve(report, module, "quenlex_read", 7, read);
    ok &= resolve(report, module, "quenlex_readChar", 8, readChar);
    ok &= resolve(report, module, "quenlex_write", 9, write);

    // Nothing beyond the table: no tenth ordinal, no decorated or underscored names.
    report.check("no ordinal 10", GetProcAddress(module, MAKEINTRESOURCEA(10)) == nullptr);
    const char *decorated[] = {"_TEST", "TEST@4", "_quenlex_open", "quenlex_open@8"};
    for (const char *name : decorated) {
        report.check(std::string("no export ") + name, GetProcAddress(module, name) == nullptr);
    }
    return ok;
}

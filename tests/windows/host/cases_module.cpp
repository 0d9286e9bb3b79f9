// The module as a whole: version record, TEST, the error query across threads, and on 32-bit
// Windows the calling convention as the stack shows it.
#include <cstdint>
#include <cstring>
#include <vector>

#include "context.h"

namespace {

void checkVersionRecord(Context &ctx) {
    Report &r = ctx.report;
    char path[MAX_PATH] = {};
    GetModuleFileNameA(ctx.lib.module, path, MAX_PATH);
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    if (!r.check("version record present", size != 0, format("error %lu", GetLastError()))) {
        return;
    }
    std::vector<char> data(size);
    if (!r.check("version record read", GetFileVersionInfoA(path, 0, size, data.data()) != 0)) {
        return;
    }

    void *value = nullptr;
    UINT length = 0;
    bool fixedFound = VerQueryValueA(data.data(), "\\", &value, &length) != 0 &&
                      length == sizeof(VS_FIXEDFILEINFO);
    if (r.check("version fixed part", fixedFound)) {
        const auto *fixed = static_cast<const VS_FIXEDFILEINFO *>(value);
        r.check("version fixed signature", fixed->dwSignature == 0xFEEF04BD);
        r.check("version file 1.0.0.1",
                fixed->dwFileVersionMS == 0x00010000 && fixed->dwFileVersionLS == 0x00000001,
                format("%08lx %08lx", fixed->dwFileVersionMS, fixed->dwFileVersionLS));
        r.check("version product 1.0.0.1",
                fixed->dwProductVersionMS == 0x00010000 && fixed->dwProductVersionLS == 0x00000001,
                format("%08lx %08lx", fixed->dwProductVersionMS, fixed->dwProductVersionLS));
        r.check("version type DLL", fixed->dwFileType == VFT_DLL);
        r.check("version zero fields", fixed->dwFileFlagsMask == 0 && fixed->dwFileFlags == 0 &&
                                           fixed->dwFileOS == 0 && fixed->dwFileSubtype == 0 &&
                                           fixed->dwFileDateMS == 0 && fixed->dwFileDateLS == 0);
    }

    bool translationFound =
        VerQueryValueA(data.data(), "\\VarFileInfo\\Translation", &value, &length) != 0 &&
        length == 4;
    if (r.check("version translation", translationFound)) {
        const auto *words = static_cast<const WORD *>(value);
        r.check("version translation 0409/1252", words[0] == 0x0409 && words[1] == 0x04E4,
                format("%04x/%04x", words[0], words[1]));
    }

    // The free strings are checked byte for byte on the file; here: what a host reads back.
    struct Entry {
        const char *key;
        const char *expected;  // nullptr: any non-empty text
    };
    const Entry entries[] = {
        {"CompanyName", nullptr}, {"FileVersion", ""},         {"FileDescription", ""},
        {"InternalName", ""},     {"LegalCopyright", nullptr}, {"LegalTrademarks", ""},
        {"OriginalFilename", ""}, {"ProductName", "quenlex"},  {"ProductVersion", ""},
    };
    for (const Entry &entry : entries) {
        std::string query = std::string("\\StringFileInfo\\040904E4\\") + entry.key;
        value = nullptr;
        length = 0;
        bool found =
            VerQueryValueA(data.data(), query.c_str(), &value, &length) != 0 && value != nullptr;
        std::string text = found ? static_cast<const char *>(value) : "";
        bool ok = found && (entry.expected != nullptr ? text == entry.expected : !text.empty());
        r.check(std::string("version string ") + entry.key, ok,
                found ? "\"" + text + "\"" : std::string("not found"));
    }
}

void checkTest(Context &ctx) {
    char out[8];
    std::memset(out, 'x', sizeof out);
    int result = ctx.lib.test(out);
    ctx.report.check("TEST writes DENEME", result == 6 && std::memcmp(out, "DENEME", 7) == 0,
                     format("result %d", result));
    ctx.report.check("TEST leaves the eighth byte", out[7] == 'x');
    ctx.report.check("TEST with NULL", ctx.lib.test(nullptr) == 0);
}

struct ThreadProbe {
    Library::GetErrorFn getError;
    int fresh;
    int own;
};

DWORD WINAPI probeOtherThread(LPVOID param) {
    auto *probe = static_cast<ThreadProbe *>(param);
    probe->fresh = probe->getError();
    SetLastError(ERROR_TIMEOUT);
    probe->own = probe->getError();
    return 0;
}

void checkGetError(Context &ctx) {
    Report &r = ctx.report;
    int opened = ctx.lib.open(ctx.missing.c_str(), 9600);
    int first = ctx.lib.getError();
    int second = ctx.lib.getError();
    r.check("open of a missing name fails", opened == 0);
    // Wine answers a COM name without a device link as Windows does: file not found.
    r.check("getError after failed open", first == ERROR_FILE_NOT_FOUND, format("%d", first));
    r.check("getError twice gives the same", second == first, format("%d then %d", first, second));

    ThreadProbe probe = {ctx.lib.getError, -1, -1};
    HANDLE thread = CreateThread(nullptr, 0, probeOtherThread, &probe, 0, nullptr);
    if (r.check("other thread started", thread != nullptr)) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        r.check("getError on a fresh thread", probe.fresh == 0, format("%d", probe.fresh));
        r.check("getError gives the thread's own code", probe.own == ERROR_TIMEOUT,
                format("%d", probe.own));
    }
    int after = ctx.lib.getError();
    r.check("getError unchanged by the other thread", after == ERROR_FILE_NOT_FOUND,
            format("%d", after));
}

#if defined(__i386__)
// Calls fn with two stack arguments as a cdecl caller does and returns how many bytes of
// them the callee removed itself: 0 for cdecl, 4 or 8 for a stdcall function of one or two.
int bytesRemovedByCallee(const void *fn, const void *first, int second) {
    int removed;
    __asm__ volatile(
        "movl %%esp, %%esi\n\t"
        "pushl %[second]\n\t"
        "pushl %[first]\n\t"
        "call *%[fn]\n\t"
        "leal -8(%%esi), %%ecx\n\t"
        "movl %%esp, %%eax\n\t"
        "subl %%ecx, %%eax\n\t"
        "movl %%esi, %%esp\n\t"
        : "=a"(removed)
        : [fn] "r"(fn), [first] "r"(first), [second] "r"(second)
        : "ecx", "edx", "esi", "memory", "cc");
    return removed;
}

void checkCallingConvention(Context &ctx) {
    // Each call is one that returns at once: no port is open and the name has no device.
    char buffer[16] = {};
    const char *missing = ctx.missing.c_str();
    struct Call {
        const char *name;
        const void *fn;
        const void *first;
        int second;
    };
    const Call calls[] = {
        {"quenlex_available", reinterpret_cast<const void *>(ctx.lib.available), missing, 0},
        {"quenlex_configure", reinterpret_cast<const void *>(ctx.lib.configure), missing, 0},
        {"TEST", reinterpret_cast<const void *>(ctx.lib.test), buffer, 0},
        {"quenlex_open", reinterpret_cast<const void *>(ctx.lib.open), missing, 9600},
        {"quenlex_read", reinterpret_cast<const void *>(ctx.lib.read), buffer, 16},
        {"quenlex_write", reinterpret_cast<const void *>(ctx.lib.write), "x", 0},
    };
    for (const Call &call : calls) {
        int removed = bytesRemovedByCallee(call.fn, call.first, call.second);
        ctx.report.check(std::string("cdecl: caller removes the arguments of ") + call.name,
                         removed == 0, format("callee removed %d bytes", removed));
    }
}
#else
void checkCallingConvention(Context &ctx) {
    ctx.report.note("64-bit Windows has one calling convention; nothing to check");
}
#endif

}  // namespace

void runModuleCases(Context &ctx) {
    checkVersionRecord(ctx);
    checkTest(ctx);
    checkGetError(ctx);
    checkCallingConvention(ctx);
}

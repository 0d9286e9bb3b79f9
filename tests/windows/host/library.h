// quenlex.dll as a host sees it: loaded at run time, each export resolved by hand.
//
// The declarations are the host's own, as any program using the DLL would write them; the
// 32-bit ones must say __cdecl, because the Win32 default for such pointers is not assumed.
#ifndef QUENLEX_TEST_HOST_LIBRARY_H
#define QUENLEX_TEST_HOST_LIBRARY_H

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include "report.h"

struct Library {
    using GetErrorFn = int(__cdecl *)(void);
    using AvailableFn = int(__cdecl *)(const char *portName);
    using CloseFn = void(__cdecl *)(void);
    using ConfigureFn = int(__cdecl *)(const char *portName);
    using TestFn = int(__cdecl *)(char *out);
    using OpenFn = int(__cdecl *)(const char *portName, int baudRate);
    using ReadFn = int(__cdecl *)(char *buffer, int bufferSize);
    using ReadCharFn = int(__cdecl *)(void);
    using WriteFn = int(__cdecl *)(const char *text);

    HMODULE module = nullptr;
    GetErrorFn getError = nullptr;
    AvailableFn available = nullptr;
    CloseFn close = nullptr;
    ConfigureFn configure = nullptr;
    TestFn test = nullptr;
    OpenFn open = nullptr;
    ReadFn read = nullptr;
    ReadCharFn readChar = nullptr;
    WriteFn write = nullptr;

    // Loads quenlex.dll and resolves the nine exports by name and by ordinal, reporting each;
    // false when the library cannot be used at all.
    bool load(Report &report);
};

#endif

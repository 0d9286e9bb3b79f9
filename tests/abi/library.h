// The built library as a host sees it: loaded with dlopen, its nine functions found by name.
#ifndef QUENLEX_TESTS_ABI_LIBRARY_H
#define QUENLEX_TESTS_ABI_LIBRARY_H

namespace abi_test {

struct Library {
    void *handle = nullptr;
    int (*getError)() = nullptr;
    int (*available)(const char *portName) = nullptr;
    void (*close)() = nullptr;
    int (*configure)(const char *portName) = nullptr;
    int (*test)(char *out) = nullptr;
    int (*open)(const char *portName, int baudRate) = nullptr;
    int (*read)(char *buffer, int bufferSize) = nullptr;
    int (*readChar)() = nullptr;
    int (*write)(const char *text) = nullptr;
};

// The nine exported names, in the order of their ordinals.
extern const char *const kExportedNames[9];

// Loads the library once for the whole test program and resolves every name; a name that
// does not resolve stays null (the tests check them). Never unloaded: the port slot lives in
// the library, as it does for a host.
const Library &library();

}  // namespace abi_test

#endif

#include "library.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

namespace abi_test {

const char *const kExportedNames[9] = {
    "quenlex_getError", "quenlex_available", "quenlex_close",    "quenlex_configure", "TEST",
    "quenlex_open",     "quenlex_read",      "quenlex_readChar", "quenlex_write",
};

namespace {

template <typename Function>
void resolve(void *handle, const char *name, Function &function) {
    function = reinterpret_cast<Function>(dlsym(handle, name));
}

Library load() {
    Library lib;
    lib.handle = dlopen(QUENLEX_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    if (lib.handle == nullptr) {
        std::fprintf(stderr, "cannot load %s: %s\n", QUENLEX_LIBRARY_PATH, dlerror());
        std::abort();
    }
    resolve(lib.handle, "quenlex_getError", lib.getError);
    resolve(lib.handle, "quenlex_available", lib.available);
    resolve(lib.handle, "quenlex_close", lib.close);
    resolve(lib.handle, "quenlex_configure", lib.configure);
    resolve(lib.handle, "TEST", lib.test);
    resolve(lib.handle, "quenlex_open", lib.open);
    resolve(lib.handle, "quenlex_read", lib.read);
    resolve(lib.handle, "quenlex_readChar", lib.readChar);
    resolve(lib.handle, "quenlex_write", lib.write);
    return lib;
}

}  // namespace

const Library &library() {
    static const Library instance = load();
    return instance;
}

}  // namespace abi_test

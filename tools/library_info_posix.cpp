// The shared object's version is in its file name: libquenlex.so.1.0.0.1 (the name the
// soname link points to).
#include <dlfcn.h>
#include <limits.h>

#include <cstdlib>

#include "library_info.h"
#include "quenlex.h"

namespace quenlex_cli {

LibraryInfo loaded_library() {
    LibraryInfo info;
    Dl_info where{};
    if (dladdr(reinterpret_cast<void *>(&TEST), &where) == 0 || where.dli_fname == nullptr) {
        return info;
    }
    char resolved[PATH_MAX];
    info.path = realpath(where.dli_fname, resolved) != nullptr ? resolved : where.dli_fname;
    const std::string marker = ".so.";
    std::size_t at = info.path.rfind(marker);
    if (at != std::string::npos) {
        info.version = info.path.substr(at + marker.size());
    }
    return info;
}

}  // namespace quenlex_cli

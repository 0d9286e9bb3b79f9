// The DLL's version comes from its version resource, as Explorer shows it.
#include <windows.h>

#include <vector>

#include "library_info.h"

namespace quenlex_cli {

LibraryInfo loaded_library() {
    LibraryInfo info;
    HMODULE module = GetModuleHandleA("quenlex.dll");
    char path[MAX_PATH];
    DWORD length = module != nullptr ? GetModuleFileNameA(module, path, MAX_PATH) : 0;
    if (length == 0 || length == MAX_PATH) {
        return info;
    }
    info.path.assign(path, length);

    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    if (size == 0) {
        return info;
    }
    std::vector<char> data(size);
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT fixed_size = 0;
    if (GetFileVersionInfoA(path, 0, size, data.data()) &&
        VerQueryValueA(data.data(), "\\", reinterpret_cast<void **>(&fixed), &fixed_size) &&
        fixed != nullptr && fixed_size >= sizeof(VS_FIXEDFILEINFO)) {
        info.version = std::to_string(HIWORD(fixed->dwFileVersionMS)) + "." +
                       std::to_string(LOWORD(fixed->dwFileVersionMS)) + "." +
                       std::to_string(HIWORD(fixed->dwFileVersionLS)) + "." +
                       std::to_string(LOWORD(fixed->dwFileVersionLS));
    }
    return info;
}

}  // namespace quenlex_cli

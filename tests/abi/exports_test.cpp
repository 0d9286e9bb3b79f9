// The library's dynamic interface as the loader sees it: its SONAME, the nine functions and
// nothing else in the dynamic symbol table, each name resolving with dlsym.
#include <dlfcn.h>
#include <elf.h>
#include <gtest/gtest.h>
#include <link.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "library.h"

namespace abi_test {
namespace {

struct DynamicInterface {
    std::string soname;
    std::set<std::string> defined;    // defined global and weak symbols
    std::set<std::string> functions;  // those of them that are functions
};

// Reads the dynamic symbol table and the SONAME straight from the ELF file, so the test
// needs no tool of the build machine.
DynamicInterface read_dynamic_interface(const char *path) {
    std::ifstream file(path, std::ios::binary);
    std::vector<char> image((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    DynamicInterface result;
    if (image.size() < sizeof(ElfW(Ehdr)) || std::memcmp(image.data(), ELFMAG, SELFMAG) != 0) {
        ADD_FAILURE() << path << " is no ELF file";
        return result;
    }
    auto at = [&](std::size_t offset) { return image.data() + offset; };
    const auto *header = reinterpret_cast<const ElfW(Ehdr) *>(at(0));
    const auto *sections = reinterpret_cast<const ElfW(Shdr) *>(at(header->e_shoff));
    for (int i = 0; i < header->e_shnum; ++i) {
        const ElfW(Shdr) &section = sections[i];
        const char *strings = at(sections[section.sh_link].sh_offset);
        if (section.sh_type == SHT_DYNSYM) {
            const auto *symbols = reinterpret_cast<const ElfW(Sym) *>(at(section.sh_offset));
            std::size_t count = section.sh_size / sizeof(ElfW(Sym));
            for (std::size_t s = 1; s < count; ++s) {
                const ElfW(Sym) &symbol = symbols[s];
                int binding = ELF64_ST_BIND(symbol.st_info);
                if (symbol.st_shndx == SHN_UNDEF || binding == STB_LOCAL) {
                    continue;
                }
                std::string name = strings + symbol.st_name;
                result.defined.insert(name);
                if (ELF64_ST_TYPE(symbol.st_info) == STT_FUNC) {
                    result.functions.insert(name);
                }
            }
        } else if (section.sh_type == SHT_DYNAMIC) {
            const auto *entries = reinterpret_cast<const ElfW(Dyn) *>(at(section.sh_offset));
            std::size_t count = section.sh_size / sizeof(ElfW(Dyn));
            for (std::size_t e = 0; e < count && entries[e].d_tag != DT_NULL; ++e) {
                if (entries[e].d_tag == DT_SONAME) {
                    result.soname = strings + entries[e].d_un.d_val;
                }
            }
        }
    }
    return result;
}

TEST(Exports, ExactlyTheNineFunctionsAndNothingElse) {
    DynamicInterface interface = read_dynamic_interface(QUENLEX_LIBRARY_PATH);
    std::set<std::string> nine(std::begin(kExportedNames), std::end(kExportedNames));
    EXPECT_EQ(interface.defined, nine);
    EXPECT_EQ(interface.functions, nine);
}

TEST(Exports, Soname) {
    EXPECT_EQ(read_dynamic_interface(QUENLEX_LIBRARY_PATH).soname, "libquenlex.so.1");
}

TEST(Exports, EveryNameResolves) {
    const Library &lib = library();
    for (const char *name : kExportedNames) {
        EXPECT_NE(dlsym(lib.handle, name), nullptr) << name;
    }
}

TEST(Exports, TheDeviceLayerStaysInside) {
    const Library &lib = library();
    for (const char *name :
         {"CreateFileA", "CloseHandle", "GetCommState", "SetCommState", "ReadFile", "WriteFile",
          "GetLastError", "SetLastError", "CommConfigDialogA", "comm"}) {
        EXPECT_EQ(dlsym(lib.handle, name), nullptr) << name;
    }
}

TEST(Exports, TestWritesDeneme) {
    unsigned char out[8];
    std::memset(out, 0xAA, sizeof out);
    ASSERT_NE(library().test, nullptr);
    EXPECT_EQ(library().test(reinterpret_cast<char *>(out)), 6);
    EXPECT_EQ(std::memcmp(out, "DENEME\0", 7), 0);
    EXPECT_EQ(out[7], 0xAA);
    EXPECT_EQ(library().test(nullptr), 0);
}

}  // namespace
}  // namespace abi_test

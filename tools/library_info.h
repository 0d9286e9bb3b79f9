// Where the loaded quenlex library lives and which version its file carries.
#ifndef QUENLEX_TOOLS_LIBRARY_INFO_H
#define QUENLEX_TOOLS_LIBRARY_INFO_H

#include <string>

namespace quenlex_cli {

struct LibraryInfo {
    std::string path;     // the file the loader took, or "" when it cannot be told
    std::string version;  // "1.0.0.1", or "" when the file does not say
};

// Asks the loader about the module that holds the library's exports.
LibraryInfo loaded_library();

}  // namespace quenlex_cli

#endif

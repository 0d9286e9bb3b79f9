// Runs the fuzzer's body over saved inputs (files, or every file of a folder), so the
// corpus is a regression test in every build, with any compiler.
#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace {

std::vector<std::uint8_t> read_file(const std::string &path) {
    std::vector<std::uint8_t> bytes;
    if (std::FILE *file = std::fopen(path.c_str(), "rb")) {
        std::uint8_t chunk[4096];
        std::size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, file)) > 0) {
            bytes.insert(bytes.end(), chunk, chunk + n);
        }
        std::fclose(file);
    }
    return bytes;
}

void collect(const std::string &path, std::vector<std::string> &files) {
    struct stat status {};
    if (stat(path.c_str(), &status) != 0) {
        return;
    }
    if (!S_ISDIR(status.st_mode)) {
        files.push_back(path);
        return;
    }
    if (DIR *dir = opendir(path.c_str())) {
        while (const dirent *entry = readdir(dir)) {
            if (entry->d_name[0] != '.') {
                collect(path + "/" + entry->d_name, files);
            }
        }
        closedir(dir);
    }
}

}  // namespace

int main(int argc, char **argv) {
    LLVMFuzzerInitialize(&argc, &argv);
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        collect(argv[i], files);
    }
    for (const std::string &file : files) {
        std::vector<std::uint8_t> bytes = read_file(file);
        LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
    }
    std::printf("replayed %zu inputs\n", files.size());
    return files.empty() ? 1 : 0;
}

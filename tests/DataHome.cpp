// The test programs and everything they start (the program, zvbasic-cli)
// keep their automatic backups in a folder of their own, never in the user's:
// XDG_DATA_HOME points to a new temporary folder, removed at the end.
#include <stdlib.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace {

struct sDataHome {
    sDataHome() {
        std::string pattern = (std::filesystem::temp_directory_path() / "zvdataXXXXXX").string();
        if (!::mkdtemp(pattern.data())) return;
        Path = pattern;
        ::setenv("XDG_DATA_HOME", Path.c_str(), 1);
    }
    ~sDataHome() {
        if (Path.empty()) return;
        std::error_code ec;
        std::filesystem::remove_all(Path, ec);
    }
    std::string Path;
};

const sDataHome kDataHome;

}  // namespace

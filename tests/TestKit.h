// Small helpers shared by the test programs: reading a whole file and a
// temporary folder that is removed with everything in it.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>
#include <vector>

namespace testkit {

// The whole file as bytes; empty when it cannot be read.
inline std::string Slurp(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A new, empty folder under the system's temporary folder, removed (with
// write permission given back first) when the object goes.
class cTempDir {
public:
    explicit cTempDir(const std::string& prefix = "zvtest") {
        std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "XXXXXX")).string();
        if (::mkdtemp(pattern.data())) Path = pattern;
    }
    ~cTempDir() {
        std::error_code ec;
        std::filesystem::permissions(Path, std::filesystem::perms::owner_all, ec);
        std::filesystem::remove_all(Path, ec);
    }
    cTempDir(const cTempDir&) = delete;
    cTempDir& operator=(const cTempDir&) = delete;

    // The names of the entries in the folder.
    std::vector<std::string> Names() const {
        std::vector<std::string> out;
        for (const auto& e : std::filesystem::directory_iterator(Path)) out.push_back(e.path().filename().string());
        return out;
    }

    std::filesystem::path Path;
};

}  // namespace testkit

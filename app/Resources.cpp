#include "app/Resources.h"

#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace {
bool HoldsResources(const fs::path& dir) {
    std::error_code ec;
    return fs::is_directory(dir / "locale", ec) || fs::is_directory(dir / "data", ec);
}
}  // namespace

namespace Resources {

std::string ExecutableDir() {
    std::error_code ec;
    const fs::path exe = fs::read_symlink("/proc/self/exe", ec);
    if (ec || exe.empty()) return {};
    return exe.parent_path().string();
}

std::string Folder(const std::string& exeDir) {
    if (exeDir.empty()) return exeDir;
    const fs::path here(exeDir);
    if (HoldsResources(here)) return exeDir;
    const fs::path shared = (here / ".." / "share" / "zvbasic").lexically_normal();
    if (HoldsResources(shared)) {
        std::string text = shared.string();
        // lexically_normal keeps a trailing separator from "zvbasic/."; the
        // callers append "/locale" themselves.
        while (text.size() > 1 && text.back() == '/') text.pop_back();
        return text;
    }
    return exeDir;
}

std::string Folder() { return Folder(ExecutableDir()); }

}  // namespace Resources

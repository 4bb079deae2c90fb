#include "core/Resources.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "core/Folders.h"

namespace fs = std::filesystem;

namespace {
bool HoldsResources(const fs::path& dir) {
    std::error_code ec;
    return fs::is_directory(dir / "locale", ec) || fs::is_directory(dir / "data", ec);
}
}  // namespace

namespace Resources {

std::string ExecutableDir() { return Folders::ExecutableDir(); }

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

std::string HelpPicture(const std::string& resourceDir, const std::string& configDir) {
    std::string userData;
    if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') userData = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home) userData = std::string(home) + "/.local/share";
    const std::string candidates[] = {
        userData.empty() ? std::string() : userData + "/zvbasic/schwzvb.jpg",
        configDir.empty() ? std::string() : configDir + "/schwzvb.jpg",
        resourceDir.empty() ? std::string() : resourceDir + "/data/schwzvb.jpg",
    };
    for (const std::string& c : candidates) {
        std::error_code ec;
        // A folder of that name is no picture and leaves the built-in one.
        if (!c.empty() && fs::is_regular_file(c, ec)) return c;
    }
    return {};
}

}  // namespace Resources

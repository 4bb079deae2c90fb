#include "core/Translate.h"

#include <libintl.h>

#include <algorithm>
#include <clocale>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>

namespace {
const char* const kDomain = "default";

std::mutex NamesMutex;
std::string Dir = "locale";
std::map<std::string, std::string> Names;  // language code -> language name
bool NamesLoaded = false;

uint32_t ReadU32(const std::string& data, size_t at, bool swap) {
    if (at + 4 > data.size()) return 0;
    uint32_t v;
    std::memcpy(&v, data.data() + at, 4);
    return swap ? __builtin_bswap32(v) : v;
}

// The language-name catalogue is one file, not a per-language tree, so it is
// read directly: a .mo file is a small table of string pairs.
std::map<std::string, std::string> ReadMoFile(const std::string& path) {
    std::map<std::string, std::string> result;
    std::ifstream in(std::filesystem::path(reinterpret_cast<const char8_t*>(path.c_str())), std::ios::binary);
    if (!in) return result;
    std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (data.size() < 28) return result;
    uint32_t magic;
    std::memcpy(&magic, data.data(), 4);
    bool swap;
    if (magic == 0x950412deu) swap = false;
    else if (magic == 0xde120495u) swap = true;
    else return result;
    uint32_t count = ReadU32(data, 8, swap);
    uint32_t origAt = ReadU32(data, 12, swap);
    uint32_t transAt = ReadU32(data, 16, swap);
    for (uint32_t i = 0; i < count && i < 100000; ++i) {
        uint32_t olen = ReadU32(data, origAt + 8 * i, swap), ooff = ReadU32(data, origAt + 8 * i + 4, swap);
        uint32_t tlen = ReadU32(data, transAt + 8 * i, swap), toff = ReadU32(data, transAt + 8 * i + 4, swap);
        if (uint64_t(ooff) + olen > data.size() || uint64_t(toff) + tlen > data.size()) break;
        std::string key(data, ooff, olen);
        if (key.empty()) continue;  // the header entry
        result[key] = std::string(data, toff, tlen);
    }
    return result;
}

std::string Strip(std::string code) {
    auto cut = code.find_first_of(".@");
    if (cut != std::string::npos) code.erase(cut);
    return code;
}
}  // namespace

const char* _(const char* text) { return dgettext(kDomain, text); }

namespace Translate {

void Init(const std::string& localeDir) {
    {
        std::lock_guard<std::mutex> lock(NamesMutex);
        Dir = localeDir;
        NamesLoaded = false;
    }
    BindDomain(kDomain, localeDir);
}

std::string ShortCode(const std::string& code) { return code.size() == 5 ? code.substr(0, 2) : code; }

const std::string& LocaleDir() { return Dir; }

std::string CurrentLanguage() {
    // What gettext actually resolves, not what the environment asks for: a
    // system language whose locale is not installed leaves the messages
    // locale at C, and then gettext translates nothing. The catalogue found
    // for the domain names its language in its header (the entry of the
    // empty key); no catalogue found means the English texts.
    const char* header = dgettext(kDomain, "");
    if (!header || !*header) return "en";
    const char* field = std::strstr(header, "Language:");
    if (field) {
        field += std::strlen("Language:");
        while (*field == ' ' || *field == '\t') ++field;
        std::string code;
        while (*field && *field != '\n' && *field != '\r' && *field != ' ' && *field != '\t') code += *field++;
        code = Strip(code);
        if (!code.empty()) return code;
    }
    // A catalogue without that field: the first language asked for.
    for (const char* var : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(var);
        if (!v || !*v) continue;
        std::string code(v);
        code = Strip(code.substr(0, code.find(':')));
        if (code.empty()) continue;
        if (code == "C" || code == "POSIX") return "en";
        return code;
    }
    return "en";
}

std::vector<std::string> AvailableLanguages() {
    std::vector<std::string> codes;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(
             std::filesystem::path(reinterpret_cast<const char8_t*>(Dir.c_str())), ec)) {
        if (!entry.is_directory(ec)) continue;
        if (std::filesystem::exists(entry.path() / "LC_MESSAGES" / "default.mo", ec))
            codes.push_back(entry.path().filename().string());
    }
    std::sort(codes.begin(), codes.end());
    return codes;
}

std::string LanguageName(const std::string& code) {
    std::lock_guard<std::mutex> lock(NamesMutex);
    if (!NamesLoaded) {
        Names = ReadMoFile(Dir + "/isotolanguagenames.mo");
        NamesLoaded = true;
    }
    auto it = Names.find(code);
    return it == Names.end() ? code : it->second;
}

std::string Format(const char* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    va_list copy;
    va_copy(copy, args);
    int n = vsnprintf(nullptr, 0, pattern, copy);
    va_end(copy);
    std::string out;
    if (n > 0) {
        out.resize(size_t(n));
        vsnprintf(out.data(), size_t(n) + 1, pattern, args);
    }
    va_end(args);
    return out;
}

}  // namespace Translate

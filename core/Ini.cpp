#include "core/Ini.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

// The pattern "<prefix> %s" as formatted scanning reads it: the literal
// prefix at the start of the line, any amount of white space (none
// included), then one word of non-white characters.
bool MatchWord(const std::string& line, const char* prefix, std::string& word) {
    size_t n = std::strlen(prefix);
    if (line.compare(0, n, prefix) != 0) return false;
    size_t at = n;
    while (at < line.size() && IsSpace(line[at])) ++at;
    size_t end = at;
    while (end < line.size() && !IsSpace(line[end])) ++end;
    if (end == at) return false;
    word = line.substr(at, end - at);
    return true;
}

// Splits the zero-filled buffer the way the file has always been read: CR is
// skipped, LF ends a line, a zero byte ends the last line and the scan; a
// line still open at the end of the buffer is dropped.
std::vector<std::string> SplitLines(const char* buf, size_t size) {
    std::vector<std::string> lines;
    std::string current;
    for (size_t i = 0; i < size; ++i) {
        char c = buf[i];
        if (c == '\r') continue;
        if (c == '\n') {
            lines.push_back(current);
            current.clear();
        } else if (c == '\0') {
            lines.push_back(current);
            return lines;
        } else {
            current += c;
        }
    }
    return lines;
}

bool WriteAll(int fd, const std::string& data) {
    const char* p = data.data();
    size_t left = data.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        left -= size_t(n);
    }
    return true;
}

}  // namespace

bool cIni::Load(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return false;
    char buf[SETTINGS_READ_LIMIT] = {};
    size_t got = std::fread(buf, 1, sizeof buf, f);
    std::fclose(f);
    (void)got;  // the rest of the buffer stays zero

    int count = 0;
    for (const std::string& line : SplitLines(buf, sizeof buf)) {
        std::string word;
        if (MatchWord(line, "COM:", word)) {
            Port = word;
            ++count;
        } else if (MatchWord(line, "Language:", word)) {
            Language = word;
            ++count;
        } else if (line == "ENABLED") {
            Enabled = true;
            ++count;
        }
    }
    return count >= 2;
}

bool cIni::Save(const std::string& path) const {
    std::string text = "COM: " + Port + "\r\n" + "Language: " + Language + "\r\n";
    if (Enabled) text += "ENABLED";

    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path target(path);
    fs::path dir = target.parent_path();
    if (!dir.empty()) fs::create_directories(dir, ec);

    // A temporary file in the same folder, renamed over the old one: a failure
    // at any point leaves the old file as it was.
    std::string tmpl = (dir.empty() ? std::string() : dir.string() + "/") + "." +
                       target.filename().string() + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0) return false;
    bool ok = WriteAll(fd, text) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (ok) ::chmod(name.data(), 0644);
    if (ok && ::rename(name.data(), path.c_str()) != 0) ok = false;
    if (!ok) ::unlink(name.data());
    return ok;
}

std::string cIni::DefaultPath(const std::string& exeDir) {
    if (!exeDir.empty() && ::access(exeDir.c_str(), W_OK) == 0) return exeDir + "/zvbasic.ini";
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/')
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.config";
    else
        base = "/tmp";
    return base + "/zvbasic/zvbasic.ini";
}

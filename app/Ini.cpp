#include "app/Ini.h"

#include "app/SafeWrite.h"

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

    // The per-user folder may not exist yet.
    std::error_code ec;
    const std::filesystem::path dir = std::filesystem::path(path).parent_path();
    if (!dir.empty()) std::filesystem::create_directories(dir, ec);
    return SafeWrite::ReplaceFile(path, text);
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

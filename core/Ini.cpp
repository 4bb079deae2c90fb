#include "core/Ini.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "core/Folders.h"
#include "core/RegularFile.h"
#include "core/SafeWrite.h"

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

// A line of the report section's text: blanks at the ends go, control
// characters (which would break the file's lines) become blanks, and it is
// cut to kReportLineLimit bytes (at a character's start), so that the
// whole section stays within what Load reads.
constexpr size_t kReportLineLimit = 120;
std::string ReportText(const std::string& s) {
    std::string out;
    for (unsigned char c : s) out += (c < 0x20 || c == 0x7F) ? ' ' : char(c);
    if (out.size() > kReportLineLimit) {
        size_t cut = kReportLineLimit;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80) --cut;
        out.resize(cut);
    }
    const size_t b = out.find_first_not_of(' ');
    if (b == std::string::npos) return std::string();
    return out.substr(b, out.find_last_not_of(' ') - b + 1);
}

}  // namespace

bool cIni::Load(const std::string& path) {
    // Only a regular file is read: opening a named pipe would wait for a
    // writer for ever (and a device for its data), so the file is opened
    // without waiting and looked at before any read.
    std::string head;
    if (!RegularFile::ReadHead(path, SettingsReadLimit, head)) return false;
    char buf[SettingsReadLimit] = {};  // the rest of the buffer stays zero
    std::memcpy(buf, head.data(), head.size());

    int count = 0;
    bool report = false;
    for (const std::string& line : SplitLines(buf, sizeof buf)) {
        std::string word;
        if (line.size() > 2 && line.front() == '[' && line.back() == ']') {
            report = line == "[Report]";
        } else if (report) {
            if (line.rfind("Name:", 0) == 0) ReportName = ReportText(line.substr(5));
            else if (line.rfind("Address:", 0) == 0 && ReportAddress.size() < ReportAddressLines)
                ReportAddress.push_back(ReportText(line.substr(8)));
        } else if (MatchWord(line, "COM:", word)) {
            Port = LoadedPort = word;
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

namespace {

// The file's text with `port` on its first line; the report section last.
std::string SettingsText(const std::string& port, const std::string& language, bool enabled,
                         const std::string& reportName, const std::vector<std::string>& address) {
    std::string text = "COM: " + port + "\r\n" + "Language: " + language + "\r\n";
    if (enabled) text += "ENABLED";
    if (reportName.empty() && address.empty()) return text;
    text += std::string(enabled ? "\r\n" : "") + "[Report]\r\nName: " + ReportText(reportName) + "\r\n";
    for (size_t i = 0; i < address.size() && i < cIni::ReportAddressLines; ++i)
        text += "Address: " + ReportText(address[i]) + "\r\n";
    return text;
}

// A port name that Load gives back as it was written, without disturbing
// the other lines: one word of printable characters, within the system's
// path limit. (A line feed in it would plant a line of its own.)
bool WritablePort(const std::string& port) {
    if (port.size() >= PATH_MAX) return false;
    for (unsigned char c : port)
        if (c < 0x20 || c == 0x7F || c == ' ') return false;
    return true;
}

}  // namespace

bool cIni::Save(const std::string& path) const {
    // Every line must lie within the bytes Load looks at; a port that would
    // push the others out is not written.
    std::string text;
    for (const std::string& port : {Port, LoadedPort, std::string()}) {
        if (!WritablePort(port)) continue;
        text = SettingsText(port, Language, Enabled, ReportName, ReportAddress);
        if (text.size() < size_t(SettingsReadLimit)) break;
    }

    // The per-user folder may not exist yet.
    std::error_code ec;
    const std::filesystem::path dir =
        std::filesystem::path(reinterpret_cast<const char8_t*>(path.c_str())).parent_path();
    if (!dir.empty()) std::filesystem::create_directories(dir, ec);
    return SafeWrite::ReplaceFile(path, text);
}

std::string cIni::UserPath() { return Folders::UserSettingsFile(); }

namespace {
std::string BesideProgram(const std::string& exeDir) { return exeDir + Folders::Separator + "zvbasic.ini"; }
bool Exists(const std::string& path) { return Folders::Exists(path); }
// The program's own layout (the build tree, an unpacked folder, a Windows
// installation) has its catalogues beside the executable; one installed on
// Linux (/usr/bin) has them elsewhere.
bool OwnLayout(const std::string& exeDir) {
    std::error_code ec;
    return !exeDir.empty() &&
           std::filesystem::is_directory(
               std::filesystem::path(reinterpret_cast<const char8_t*>(exeDir.c_str())) / "locale", ec);
}
// A portable layout is the program's own folder, which no installer made:
// the Windows installer leaves its marker beside the programs, whose folder
// (Program Files) is shared by every user even where the fitter may write
// to it.
bool Portable(const std::string& exeDir) {
    return OwnLayout(exeDir) && !Exists(exeDir + Folders::Separator + cIni::InstalledMarker);
}
}  // namespace

std::string cIni::WritePath(const std::string& exeDir) {
    if (Portable(exeDir) && Folders::Writable(exeDir)) {
        const std::string beside = BesideProgram(exeDir);
        if (!Exists(beside) || Folders::Writable(beside)) return beside;
    }
    return UserPath();
}

std::string cIni::ReadPath(const std::string& exeDir) {
    const std::string written = WritePath(exeDir);
    if (Exists(written)) return written;
    // (An installed program also finds the settings an earlier version
    // wrote into its folder, until it has written its own.)
    if (OwnLayout(exeDir) && Exists(BesideProgram(exeDir))) return BesideProgram(exeDir);
    return UserPath();
}

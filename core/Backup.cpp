#include "core/Backup.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "core/Folders.h"
#include "core/SafeWrite.h"

namespace Backup {

namespace {

constexpr const char* kExtension = ".zv2";
constexpr int kMaxSuffix = 1000;

bool IsDigits(const std::string& s, size_t from, size_t count) {
    if (from + count > s.size()) return false;
    for (size_t i = from; i < from + count; ++i)
        if (s[i] < '0' || s[i] > '9') return false;
    return true;
}

// Whether the file holds exactly `contents`; reads no more than one byte
// beyond their size, whatever the file's size.
bool Holds(const std::string& path, const std::string& contents) {
    std::ifstream in(std::filesystem::path(reinterpret_cast<const char8_t*>(path.c_str())), std::ios::binary);
    if (!in.is_open()) return false;
    std::string text(contents.size() + 1, '\0');
    in.read(text.data(), std::streamsize(text.size()));
    text.resize(size_t(in.gcount()));
    return text == contents;
}

int Digits(const std::string& s, size_t from, size_t count) { return std::atoi(s.substr(from, count).c_str()); }

}  // namespace

std::string Folder() {
    const std::string base = Folders::UserDataDir();
    if (base.empty()) return base;
    return base + Folders::Separator + "backups";
}

std::string IdentityPart(const std::string& identity) {
    std::string out = "ECU-";
    for (char c : identity) {
        const bool safe =
            (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '-';
        out += safe ? c : '-';
    }
    // A name may not end in a full stop on some file systems.
    while (!out.empty() && out.back() == '.') out.back() = '-';
    return out;
}

std::string FileName(std::time_t when, const std::string& identity) {
    long offset = 0;
    const std::tm local = Folders::LocalTime(when, offset);
    char stamp[40];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d_%H-%M-%S", &local);
    // The offset as +hhmm or -hhmm, whatever the C library's %z gives.
    const long minutes = (offset < 0 ? -offset : offset) / 60;
    char zone[16];
    std::snprintf(zone, sizeof zone, "%c%02ld%02ld", offset < 0 ? '-' : '+', minutes / 60 % 100, minutes % 60);
    return std::string(stamp) + zone + "_" + IdentityPart(identity) + kExtension;
}

bool ParseName(const std::string& name, sEntry& entry) {
    // YYYY-MM-DD_HH-MM-SS+hhmm_ECU-<identity>[_N].zv2, the local time and
    // its offset from UTC; older backups have no offset (local time then).
    const std::string ext = kExtension;
    if (name.size() < 20 + 4 + ext.size() || name.compare(name.size() - ext.size(), ext.size(), ext) != 0) return false;
    if (!IsDigits(name, 0, 4) || name[4] != '-' || !IsDigits(name, 5, 2) || name[7] != '-' || !IsDigits(name, 8, 2) ||
        name[10] != '_' || !IsDigits(name, 11, 2) || name[13] != '-' || !IsDigits(name, 14, 2) || name[16] != '-' ||
        !IsDigits(name, 17, 2))
        return false;
    const bool zoned = (name[19] == '+' || name[19] == '-') && IsDigits(name, 20, 4);
    const size_t at = zoned ? 24 : 19;
    if (name.size() < at + 5 + ext.size() || name[at] != '_' || name.compare(at + 1, 4, "ECU-") != 0) return false;
    std::string rest = name.substr(at + 5, name.size() - at - 5 - ext.size());
    int suffix = 1;
    const size_t under = rest.rfind('_');
    if (under != std::string::npos) {
        const std::string number = rest.substr(under + 1);
        if (number.empty() || number.size() > 4 || !IsDigits(number, 0, number.size())) return false;
        suffix = std::atoi(number.c_str());
        if (suffix < 2) return false;
        rest.erase(under);
    }
    if (rest.empty() || rest.find('_') != std::string::npos) return false;
    entry.Name = name;
    entry.Stamp = name.substr(0, at);
    entry.Time = name.substr(0, 10) + " " + name.substr(11, 2) + ":" + name.substr(14, 2) + ":" + name.substr(17, 2);
    std::tm t{};
    t.tm_year = Digits(name, 0, 4) - 1900;
    t.tm_mon = Digits(name, 5, 2) - 1;
    t.tm_mday = Digits(name, 8, 2);
    t.tm_hour = Digits(name, 11, 2);
    t.tm_min = Digits(name, 14, 2);
    t.tm_sec = Digits(name, 17, 2);
    if (zoned) {
        const int offset = (Digits(name, 20, 2) * 60 + Digits(name, 22, 2)) * 60;
        entry.When = std::int64_t(Folders::FromUtc(t)) - (name[19] == '-' ? -offset : offset);
        entry.Time += name.substr(19, 3) + ":" + name.substr(22, 2);
    } else {
        t.tm_isdst = -1;
        entry.When = std::int64_t(std::mktime(&t));
    }
    entry.Part = "ECU-" + rest;
    entry.Identity = rest;
    std::replace(entry.Identity.begin(), entry.Identity.end(), '-', '/');
    entry.Suffix = suffix;
    return true;
}

std::vector<sEntry> List(const std::string& folder) {
    std::vector<sEntry> out;
    for (const Folders::sFile& file : Folders::RegularFiles(folder)) {
        sEntry entry;
        if (!ParseName(file.Name, entry)) continue;
        entry.Path = folder + Folders::Separator + entry.Name;
        entry.Size = file.Size;
        out.push_back(std::move(entry));
    }
    std::sort(out.begin(), out.end(), [](const sEntry& a, const sEntry& b) {
        if (a.When != b.When) return a.When > b.When;
        if (a.Suffix != b.Suffix) return a.Suffix > b.Suffix;
        return a.Name > b.Name;
    });
    return out;
}

sResult Save(const std::string& folder, const std::string& identity, const std::string& contents, std::time_t when) {
    sResult result;
    if (folder.empty()) {
        result.Error = "no folder for backups (neither XDG_DATA_HOME nor HOME is set)";
        return result;
    }
    if (int code = Folders::MakeFolders(folder)) {
        result.Error = folder + ": " + std::strerror(code);
        return result;
    }
    const std::string part = IdentityPart(identity);
    for (const sEntry& e : List(folder)) {
        if (e.Part != part) continue;
        // The newest backup of this ECU; a file of another size (whatever
        // else lies in the folder under such a name) is not read.
        if (e.Size == std::int64_t(contents.size()) && Holds(e.Path, contents)) {
            result.Outcome = eOutcome::Unchanged;
            result.Path = e.Path;
            return result;
        }
        break;
    }
    const std::string name = FileName(when, identity);
    const std::string stem = name.substr(0, name.size() - std::strlen(kExtension));
    for (int suffix = 1; suffix <= kMaxSuffix; ++suffix) {
        const std::string path =
            folder + Folders::Separator + (suffix == 1 ? name : stem + "_" + std::to_string(suffix) + kExtension);
        std::string error;
        bool exists = false;
        if (SafeWrite::CreateNew(path, contents, &error, &exists)) {
            result.Outcome = eOutcome::Written;
            result.Path = path;
            return result;
        }
        if (!exists) {
            result.Error = path + ": " + error;
            return result;
        }
    }
    result.Error = folder + Folders::Separator + name + ": " + std::strerror(EEXIST);
    return result;
}

cWriter::cWriter(tDone done) : Done(std::move(done)), Thread([this] { Run(); }) {}

cWriter::~cWriter() {
    {
        std::lock_guard<std::mutex> lock(M);
        Ending = true;
    }
    Wake.notify_all();
    Thread.join();
}

void cWriter::Submit(sJob job) {
    {
        std::lock_guard<std::mutex> lock(M);
        Jobs.push_back(std::move(job));
    }
    Wake.notify_all();
}

void cWriter::Flush() {
    std::unique_lock<std::mutex> lock(M);
    Idle.wait(lock, [this] { return Jobs.empty() && !Working; });
}

void cWriter::Run() {
    std::unique_lock<std::mutex> lock(M);
    for (;;) {
        Wake.wait(lock, [this] { return Ending || !Jobs.empty(); });
        if (Jobs.empty()) return;  // ending, and every backup made
        sJob job = std::move(Jobs.front());
        Jobs.pop_front();
        Working = true;
        lock.unlock();
        const sResult result = Save(job.Folder, job.Identity, job.Contents, job.When);
        if (Done) Done(job, result);
        lock.lock();
        Working = false;
        if (Jobs.empty()) Idle.notify_all();
    }
}

}  // namespace Backup

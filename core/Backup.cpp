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

// A date and time of day that can be: month 1 to 12, the days the month
// has, hours 0 to 23, minutes and seconds 0 to 59, from 1970 on.
bool RealMoment(int year, int month, int day, int hour, int minute, int second) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1970 || month < 1 || month > 12 || day < 1) return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day > days[month - 1] + (month == 2 && leap ? 1 : 0)) return false;
    return hour <= 23 && minute <= 59 && second <= 59;
}

// The file's contents when it is small enough to be a backup.
bool ReadSmall(const std::string& path, std::string& text) {
    std::ifstream in(std::filesystem::path(reinterpret_cast<const char8_t*>(path.c_str())), std::ios::binary);
    if (!in.is_open()) return false;
    text.assign(size_t(MaxSize) + 1, '\0');
    in.read(text.data(), std::streamsize(text.size()));
    text.resize(size_t(in.gcount()));
    return std::int64_t(text.size()) <= MaxSize && !in.bad();
}

// Whether the listed file is a backup by its contents too.
bool IsWholeFile(const sEntry& e, const tIsWhole& whole) {
    if (!whole) return true;
    std::string text;
    return e.Size <= MaxSize && ReadSmall(e.Path, text) && whole(text);
}

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
    // The identity part as IdentityPart makes it: letters, digits, '.' and '-'.
    if (rest.empty()) return false;
    for (char c : rest)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '-'))
            return false;
    if (!RealMoment(Digits(name, 0, 4), Digits(name, 5, 2), Digits(name, 8, 2), Digits(name, 11, 2),
                    Digits(name, 14, 2), Digits(name, 17, 2)))
        return false;
    // Offsets run from -12:00 to +14:00.
    if (zoned && (Digits(name, 20, 2) > 14 || Digits(name, 22, 2) > 59)) return false;
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

std::vector<sEntry> List(const std::string& folder, const tIsWhole& whole) {
    std::vector<sEntry> out;
    for (const Folders::sFile& file : Folders::RegularFiles(folder)) {
        sEntry entry;
        if (!ParseName(file.Name, entry)) continue;
        entry.Path = folder + Folders::Separator + entry.Name;
        entry.Size = file.Size;
        if (!IsWholeFile(entry, whole)) continue;
        out.push_back(std::move(entry));
    }
    std::sort(out.begin(), out.end(), [](const sEntry& a, const sEntry& b) {
        if (a.When != b.When) return a.When > b.When;
        if (a.Suffix != b.Suffix) return a.Suffix > b.Suffix;
        return a.Name > b.Name;
    });
    return out;
}

sResult Save(const std::string& folder, const std::string& identity, const std::string& contents, std::time_t when,
             const tIsWhole& whole) {
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
        // else lies in the folder under such a name) is not read. A file
        // that is no backup by its contents does not count.
        if (e.Size == std::int64_t(contents.size()) && Holds(e.Path, contents)) {
            result.Outcome = eOutcome::Unchanged;
            result.Path = e.Path;
            return result;
        }
        if (!IsWholeFile(e, whole)) continue;
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

cWriter::cWriter(tDone done, tIsWhole whole)
    : Done(std::move(done)),
      Whole(std::move(whole)),
      Thread([this] { Run(); }) {}

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
        const sResult result = Save(job.Folder, job.Identity, job.Contents, job.When, Whole);
        if (Done) Done(job, result);
        lock.lock();
        Working = false;
        if (Jobs.empty()) Idle.notify_all();
    }
}

}  // namespace Backup

// Automatic backups of the ECU's settings: after every completed settings
// read the values go into a file of their own in the per-user folder
// $XDG_DATA_HOME/zvbasic/backups/ (by default ~/.local/share/zvbasic/backups/),
// named by the local time with its offset from UTC and the ECU's identity,
// so that the names are readable, tell the moment whatever the clock's zone
// and are safe on every file system:
//
//     2026-12-08_14-03-27+0100_ECU-2.5-3.0.zv2
//
// Older backups named without the offset ("2026-12-08_14-03-27_ECU-...")
// still list, taken as the local time they name.
// A second file in the same second gets "_2", "_3", ... before the extension.
// Only a name with a moment that can be (a real date and time of day, an
// offset of at most 14 hours) is a backup's, and only a whole file of the
// backups' kind (see tIsWhole) is a backup.
// Nothing is written when the newest backup of the same identity already
// holds the same contents. Files are written whole or not at all and never
// over an existing file. No Qt, and nothing of the file formats: the caller
// gives the contents.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <ctime>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace Backup {

// The backup folder; empty when neither XDG_DATA_HOME (an absolute path)
// nor HOME is set.
std::string Folder();

// The identity part of a name: "ECU-" and the identity with every character
// that is not a letter, digit, '.' or '-' (the '/' between the two versions
// among them) replaced by '-'.
std::string IdentityPart(const std::string& identity);

// The file name for a backup made at `when` (local time and offset), without suffix.
std::string FileName(std::time_t when, const std::string& identity);

struct sEntry {
    std::string Time;      // local time "2026-12-08 14:03:27+01:00" (no offset in an older name)
    std::string Identity;  // "2.5/3.0": the identity part with '-' back to '/'
    std::string Path;      // folder + "/" + name
    std::string Name;
    std::string Part;       // the identity part of the name, "ECU-2.5-3.0"
    std::string Stamp;      // "2026-12-08_14-03-27+0100"
    std::int64_t When = 0;  // the moment, seconds since 1970 UTC, for ordering
    std::int64_t Size = 0;  // List: the file's size in bytes
    int Suffix = 1;         // 1 without "_N"
};

// Whether a file name is a backup's; fills `entry` (but Path) when it is.
// A name whose moment cannot be ("2099-13-45_99-99-99") is none.
bool ParseName(const std::string& name, sEntry& entry);

// Whether a file's contents are a backup: a whole vehicle file. The file
// formats live above this floor, so the callers give the check
// (VehicleFile::IsWhole); without one every file named like a backup counts.
using tIsWhole = std::function<bool(const std::string& contents)>;
// A backup is small: a longer file is none, and is not read.
constexpr std::int64_t MaxSize = 4096;

// The backups in `folder`, newest first (by the moment in the name, then by
// suffix). Other files are left out, and with `whole` every file whose
// contents it refuses; a missing folder lists nothing.
std::vector<sEntry> List(const std::string& folder, const tIsWhole& whole = {});

enum class eOutcome { Written, Unchanged, Failed };

struct sResult {
    eOutcome Outcome = eOutcome::Failed;
    std::string Path;   // the new file, or the newest one that holds the same contents
    std::string Error;  // Failed: what went wrong, with the path concerned
};

// Saves `contents` as the backup of the ECU `identity` made at `when`: makes
// the folder (and its parents) when missing, with the user's default
// permissions; writes nothing when the newest backup of the identity has the
// same contents (a file of another size is not read; with `whole`, a file
// it refuses is passed over for the next older one); otherwise creates a
// new file through SafeWrite::CreateNew.
sResult Save(const std::string& folder, const std::string& identity, const std::string& contents, std::time_t when,
             const tIsWhole& whole = {});

// One backup to make.
struct sJob {
    std::string Folder;
    std::string Identity;
    std::string Contents;
    std::time_t When = 0;
};

// Makes backups on a thread of its own, one after another in the order they
// were handed over, so that neither the link nor the screens wait for a disk.
// `done` runs on that thread after each backup. The destructor finishes the
// backups already handed over.
class cWriter {
public:
    using tDone = std::function<void(const sJob&, const sResult&)>;
    // `whole` as for Save.
    explicit cWriter(tDone done, tIsWhole whole = {});
    ~cWriter();
    cWriter(const cWriter&) = delete;
    cWriter& operator=(const cWriter&) = delete;

    // Hands a backup over and returns at once.
    void Submit(sJob job);
    // Waits until every backup handed over has been made (tests, shutdown).
    void Flush();

private:
    void Run();

    tDone Done;
    tIsWhole Whole;
    std::mutex M;
    std::condition_variable Wake;
    std::condition_variable Idle;
    std::deque<sJob> Jobs;
    bool Working = false;
    bool Ending = false;
    std::thread Thread;
};

}  // namespace Backup

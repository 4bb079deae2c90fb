// Replacing a small file whole and safely: the one way the program writes
// its settings files (zvbasic.ini, vehicle settings files). No Qt; usable by
// every program built on the core.
//
// ReplaceFile(path, data) gives `path` the contents `data` so that, whatever
// happens (a full disk, a missing right, a crash, the power going), the file
// afterwards holds either its old contents or the new ones whole:
//
// - the data goes into a temporary file in the same folder (a short name
//   ".zv" plus six random characters, so any name that fits the folder can
//   be saved), is synced to the disk, and the temporary file is renamed over
//   the target; the folder is synced after the rename;
// - a symbolic link (or a chain of them) is followed: the file it points to
//   is replaced and the link stays a link;
// - only a regular file is replaced: a named pipe, a device, a folder or a
//   socket is refused without being opened, and stays as it was;
// - a file that may not be written (no write permission) is refused, as an
//   in-place write would be;
// - the replacement keeps the old file's permission bits (and its owner and
//   group where the system allows it); a new file gets 0666 less the umask;
// - folders are not created; a missing folder is a failure.
//
// Before it saves, it clears stale temporary files of earlier saves that were
// killed part way (see ClearStaleTemporaries).
//
// On Windows, a file that another program holds open (a viewer, a
// spreadsheet, a virus scanner) is tried again for about a second; then the
// failure says it is open in another program.
//
// On failure nothing has changed: the old file (if any) is untouched and no
// temporary file remains. The return value is true on success; `error`, when
// given, receives the system's text of the failure.
#pragma once

#include <functional>
#include <string>

// windows.h, when included before, makes ReplaceFile a macro for the
// system's ReplaceFileW; here it is SafeWrite's own.
#undef ReplaceFile

namespace SafeWrite {

bool ReplaceFile(const std::string& path, const std::string& data, std::string* error = nullptr);

// Creates `path` as a new file with the contents `data`, the same safe way
// (a synced temporary file that then takes the name), but never over
// anything that exists under that name, a symbolic link included: when the
// name is taken the call fails with EEXIST (`exists`, when given, is then
// set) and nothing has changed. A new file gets 0666 less the umask.
bool CreateNew(const std::string& path, const std::string& data, std::string* error = nullptr, bool* exists = nullptr);

// Writes `path` through a temporary file in the same folder that then takes
// its name ("-": standard output), for contents too large to hold at once:
// `body` writes them to the descriptor (binary) and tells why it failed (an
// errno value, -1 for a failure it reported itself). A symbolic link is
// followed; only a regular file is replaced, keeping its permission bits.
bool ReplaceStreamed(const std::string& path, const std::function<bool(int fd, int& code)>& body, std::string* error);

// Removes what saves killed part way left behind in `folder`: our temporary
// files (".zv" and six letters or digits, regular files of this user) last
// changed at least `minimumAgeSeconds` ago and not locked by a save still
// running. Every save runs it in its folder first. Returns how many went.
inline constexpr int StaleTemporaryAgeSeconds = 60;
int ClearStaleTemporaries(const std::string& folder, int minimumAgeSeconds = StaleTemporaryAgeSeconds);

#ifdef _WIN32
// Runs before each new try of a move that another program's open file
// refused, with the number of tries so far (the tests let go of the file
// there); empty: nothing.
void SetHeldFileRetryHook(std::function<void(int attempt)> hook);
#endif

}  // namespace SafeWrite

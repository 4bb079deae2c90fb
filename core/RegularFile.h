// The files the programs read or write at a fitter's choice (vehicle files,
// captures) are regular files. A named pipe would block the reader or the
// writer until another program turns up, a device is no file (/dev/zero never
// ends), and a folder cannot be written as one. The checks never wait: a
// file is opened without blocking and then looked at.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "core/Translate.h"

namespace RegularFile {

// Why a file was refused: the program's own reasons are catalogue keys
// (translate them with _ before showing); otherwise the system's text.
constexpr const char* NotRegular = N_("not a regular file");

// What the programs need to know of an open file or a path.
struct sFileInfo {
    bool Regular = false;
    bool Folder = false;
    uint64_t Size = 0;
    uint64_t Device = 0;  // with Inode: the same file under any name
    uint64_t Inode = 0;
    int64_t ChangedNs = 0;  // last change of the contents
};

// The system side, one file per system (RegularFilePosix.cpp,
// RegularFileWin32.cpp). File descriptors are the C library's, in binary
// mode on every system; paths are UTF-8.
//
// Opens a file for reading without waiting (a named pipe without a writer,
// a device): a descriptor, or -1 with errno set. Call Blocking once the file
// is known to be a regular file.
int OpenForReading(const std::string& path);
void Blocking(int fd);
// False with errno set when the system cannot say.
bool Info(int fd, sFileInfo& info);
bool InfoOf(const std::string& path, sFileInfo& info);
// read, write, close, ftruncate and lseek of the system's C library: bytes
// moved (-1 with errno set; an interrupted call is made again), 0 or an
// errno value, false with errno set.
long long Read(int fd, void* buffer, size_t n);
long long Write(int fd, const void* data, size_t n);
int Close(int fd);
int Truncate(int fd, uint64_t size);
bool Seek(int fd, uint64_t at);
// `n` bytes at `at` without moving the file position; -1 with errno set.
long long ReadAt(int fd, void* buffer, size_t n, uint64_t at);
// The file's data on the disk: 0 or an errno value.
int Sync(int fd);
// A hint that the file is read from start to end.
void AdviseSequential(int fd);
// The memory of the machine in bytes, 0 when unknown.
uint64_t PhysicalMemory();

// The first `limit` bytes (fewer when it is shorter) of a regular file;
// false when it cannot be opened or read or is no regular file.
bool ReadHead(const std::string& path, size_t limit, std::string& text);

// Reads the whole of a regular file of at most `limit` bytes into `text`.
// False when it cannot be opened or read, is not a regular file or is longer
// than `limit` (then `error` is `tooLong`).
bool ReadSmall(const std::string& path, size_t limit, std::string& text, std::string& error, const char* tooLong);

// Opens a file for writing from its start, creating it when it is not there:
// a file descriptor, or -1 with `error` set. An existing file must be a
// regular file (it is emptied only once that is known).
int OpenForWriting(const std::string& path, std::string& error);

// A file about to be written, looked at before any work starts: an existing
// one must be a regular file that may be written, a new one needs a folder
// that exists and may be written in. False with `error` otherwise.
bool CheckOutput(const std::string& path, std::string& error);

}  // namespace RegularFile

// The files the programs read or write at a fitter's choice (vehicle files,
// captures) are regular files. A named pipe would block the reader or the
// writer until another program turns up, a device is no file (/dev/zero never
// ends), and a folder cannot be written as one. The checks never wait: a
// file is opened without blocking and then looked at.
#pragma once

#include <cstddef>
#include <string>

#include "core/Translate.h"

namespace RegularFile {

// Why a file was refused: the program's own reasons are catalogue keys
// (translate them with _ before showing); otherwise the system's text.
constexpr const char* NOT_REGULAR = N_("not a regular file");

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

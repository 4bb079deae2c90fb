// Where the program finds its catalogues (locale/) and its data folder
// (data/): beside the executable when they are there (the build tree, an
// unpacked folder), else in ../share/zvbasic/ relative to it (an installed
// program under any prefix). Every program of the project asks here.
#pragma once

#include <string>

namespace Resources {
// Folder of the running executable (Folders::ExecutableDir); empty when it
// cannot be read.
std::string ExecutableDir();
// The folder that holds locale/ and data/ for an executable in `exeDir`:
// `exeDir` itself when it has either, else <exeDir>/../share/zvbasic when
// that has either, else `exeDir` (nothing found: the program runs with its
// English texts and built-in pictures).
std::string Folder(const std::string& exeDir);
// The same for the running executable.
std::string Folder();

// The folder the system's administrator puts a replacement help picture in.
inline constexpr const char* SystemConfigDir = "/etc/zvbasic";

// The replacement for the built-in help picture (schwzvb.jpg), the first
// regular file of: the per-user data folder ($XDG_DATA_HOME/zvbasic, by
// default ~/.local/share/zvbasic), `configDir` (the system's /etc/zvbasic),
// <resourceDir>/data (the build tree, an unpacked folder, and for older
// installations the share folder). Empty when there is none. None of these
// but the last belongs to the package, so a picture put there survives and
// does not block removing it.
std::string HelpPicture(const std::string& resourceDir, const std::string& configDir = SystemConfigDir);
}  // namespace Resources

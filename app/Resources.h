// Where the program finds its catalogues (locale/) and its data folder
// (data/): beside the executable when they are there (the build tree, an
// unpacked folder), else in ../share/zvbasic/ relative to it (an installed
// program under any prefix). Every program of the project asks here.
#pragma once

#include <string>

namespace Resources {
// Folder of the running executable, from /proc/self/exe (links resolved);
// empty when it cannot be read.
std::string ExecutableDir();
// The folder that holds locale/ and data/ for an executable in `exeDir`:
// `exeDir` itself when it has either, else <exeDir>/../share/zvbasic when
// that has either, else `exeDir` (nothing found: the program runs with its
// English texts and built-in pictures).
std::string Folder(const std::string& exeDir);
// The same for the running executable.
std::string Folder();
}  // namespace Resources

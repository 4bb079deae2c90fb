#pragma once
// What the viewer's command line asks of the system, one file per system
// (PlatformPosix.cpp, PlatformWin32.cpp).

#include <cstddef>
#include <string>

#include <QString>

namespace ViewerPlatform {

// A file name from the arguments (CommandLine::Arguments: UTF-8 on Windows,
// the system's encoding for file names on Linux) as text.
QString PathText(const std::string& path);

// Whether a window can be shown: on Linux a display (X or Wayland, or a Qt
// platform chosen by hand); on Windows always.
bool CanShowWindow();

// Chooses Qt's platform for pictures made without a window: on Linux the
// offscreen platform unless one was chosen by hand, so no display is needed;
// on Windows the system's own (there is always a desktop, and the offscreen
// platform is not shipped).
void ChoosePicturePlatform();

// Writes all of `data` to standard output as bytes (no line-end
// translation); false with errno set.
bool WriteStdout(const char* data, size_t size);

}  // namespace ViewerPlatform

// Windows only: the code keeps paths and texts in UTF-8; the system's wide
// (W) calls take UTF-16. The conversion happens at the system call.
#pragma once

#include <string>

namespace Utf16 {
// UTF-8 to UTF-16; invalid sequences become U+FFFD.
std::wstring Widen(const std::string& text);
// UTF-16 to UTF-8; unpaired surrogates become U+FFFD.
std::string Narrow(const std::wstring& text);
// The system's text of a Win32 error code, in UTF-8, without the line end;
// empty when the system has none. In the language `language` (a Windows
// language identifier, "de", "pl", "ru" or "en" as the program names them)
// where the system has its texts in it, else in the user's own.
std::string ErrorText(unsigned long code, const std::string& language = {});
// The errno value nearest to a Win32 error code (EIO when none is near).
int Errno(unsigned long code);
}  // namespace Utf16

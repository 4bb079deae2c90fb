// Windows: the codes carried in sError are the system's (GetLastError), and
// so is their text, in the program's language where Windows has it.
#include <cstdio>

#include "core/Error.h"
#include "core/Translate.h"
#include "core/Utf16Win32.h"

std::string SystemErrorText(int32_t code) {
    std::string result = Utf16::ErrorText(static_cast<unsigned long>(code), Translate::CurrentLanguage());
    if (result.empty()) result = _("UNKNOWN ERROR");
    char tail[64];
    std::snprintf(tail, sizeof tail, " (%d = 0x%08X)", code, static_cast<uint32_t>(code));
    return result + tail;
}

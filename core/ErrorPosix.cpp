#include <cstdio>
#include <cstring>

#include "core/Error.h"
#include "core/Translate.h"

namespace {
// strerror_r comes in two flavours; both are handled so the text is found
// whichever one the C library gives us.
[[maybe_unused]] const char* PickText(int rc, const char* buf) { return rc == 0 ? buf : nullptr; }
[[maybe_unused]] const char* PickText(const char* text, const char*) { return text; }
}  // namespace

std::string SystemErrorText(int32_t code) {
    char buf[256] = {};
    const char* text = PickText(strerror_r(code, buf, sizeof buf), buf);
    std::string result;
    // glibc answers unknown codes with "Unknown error N"; that is no system text.
    if (text && *text && std::strncmp(text, "Unknown error", 13) != 0) result = text;
    else result = _("UNKNOWN ERROR");
    char tail[64];
    std::snprintf(tail, sizeof tail, " (%d = 0x%08X)", code, static_cast<uint32_t>(code));
    return result + tail;
}

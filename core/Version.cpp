#include "core/Version.h"

#include "core/Translate.h"

#ifndef ZV_VERSION_MAJOR
#define ZV_VERSION_MAJOR -1
#define ZV_VERSION_MINOR -1
#define ZV_VERSION_PATCH -1
#define ZV_VERSION_TWEAK -1
#endif

sVersion ProgramVersion() {
    sVersion v;
    constexpr long parts[4] = {ZV_VERSION_MAJOR, ZV_VERSION_MINOR, ZV_VERSION_PATCH, ZV_VERSION_TWEAK};
    for (long p : parts)
        if (p < 0 || p > 65535) return v;
    v.Major = unsigned(parts[0]);
    v.Minor = unsigned(parts[1]);
    v.Release = unsigned(parts[2]);
    v.Build = unsigned(parts[3]);
    v.Valid = true;
    return v;
}

std::string FormatVersionText(char kind, const sVersion& v) {
    if (!v.Valid) return _("unknown");
    if (kind == 'v') return Translate::Format(_("v. %d.%d"), int(v.Major), int(v.Minor));
    if (kind == 'b')
        return Translate::Format(_("build: %d.%d.%d.%d\n"), int(v.Major), int(v.Minor), int(v.Release), int(v.Build));
    return _("unknown");
}

std::string GetVersionText(char kind) { return FormatVersionText(kind, ProgramVersion()); }

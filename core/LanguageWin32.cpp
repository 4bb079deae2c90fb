// Windows: GNU gettext's runtime (libintl) reads LANGUAGE as on Linux, with
// no messages locale to satisfy first; bumping its catalogue counter makes it
// look the catalogues up again. The catalogue folder is handed over in
// UTF-16, so a program folder with any name works.
#include <libintl.h>
#include <stdlib.h>

#include "core/Translate.h"
#include "core/Utf16Win32.h"

extern "C" int _nl_msg_cat_cntr;

namespace Translate {

void SetLanguage(const std::string& code) {
    _putenv_s("LANGUAGE", code.c_str());
    ++_nl_msg_cat_cntr;
}

void BindDomain(const char* domain, const std::string& localeDir) {
    wbindtextdomain(domain, Utf16::Widen(localeDir).c_str());
    bind_textdomain_codeset(domain, "UTF-8");
}

}  // namespace Translate

#include <libintl.h>

#include <clocale>
#include <cstdlib>
#include <cstring>

#include "core/Translate.h"

extern "C" int _nl_msg_cat_cntr;  // glibc: bumping it makes gettext drop its cache

namespace Translate {

void SetLanguage(const std::string& code) {
    const char* current = std::setlocale(LC_MESSAGES, nullptr);
    // glibc ignores LANGUAGE while the messages locale is C or POSIX.
    if (!current || std::strcmp(current, "C") == 0 || std::strcmp(current, "POSIX") == 0)
        std::setlocale(LC_MESSAGES, "C.UTF-8");
    setenv("LANGUAGE", code.c_str(), 1);
    ++_nl_msg_cat_cntr;
}

void BindDomain(const char* domain, const std::string& localeDir) {
    bindtextdomain(domain, localeDir.c_str());
    bind_textdomain_codeset(domain, "UTF-8");
}

}  // namespace Translate

#include "analysis/ViewerText.h"

#include <libintl.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/Ini.h"
#include "core/Resources.h"
#include "core/Translate.h"

namespace ViewerText {

std::string LocaleDir(const std::string& exeDir) { return Resources::Folder(exeDir) + "/locale"; }

void Init(const std::string& localeDir) {
    Translate::Init(localeDir);
    Translate::BindDomain(Domain, localeDir);
}

std::string ChooseLanguage(const std::string& exeDir) {
    const char* explicitLanguage = std::getenv("LANGUAGE");
    std::string code;
    if (explicitLanguage && *explicitLanguage) {
        code = explicitLanguage;
    } else {
        cIni ini;
        ini.Load(cIni::ReadPath(exeDir));
        code = ini.Language;
    }
    if (code.empty()) return Translate::CurrentLanguage();
    Translate::SetLanguage(code);
    return Translate::CurrentLanguage();
}

const char* Get(const char* text) { return dgettext(Domain, text); }

const char* Get(const char* singular, const char* plural, unsigned long n) {
    return dngettext(Domain, singular, plural, n);
}

std::string ReadFailure(const Capture::sReadResult& result) {
    if (result.Status == Capture::eReadStatus::NotAFile)
        return Get("not a regular file (a pipe, a device or a socket is not read)");
    return std::strerror(result.Errno ? result.Errno : EIO);
}

}  // namespace ViewerText

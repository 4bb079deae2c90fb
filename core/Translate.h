// Message lookup in the text domain "default" (GNU gettext), with the English
// text as the key, and run-time switching of the language in force.
#pragma once

#include <string>
#include <vector>

// Marks a text for extraction and translates it at once.
const char* _(const char* text);
// Marks a text for extraction without translating it (translate later with _).
#define N_(text) text

namespace Translate {
// Binds the domains "default" (locale/<code>/LC_MESSAGES/default.mo) and
// "isotolanguagenames" (locale/isotolanguagenames.mo) under `localeDir`.
void Init(const std::string& localeDir);
// The language code in force ("de", "pl_PL", ...): the language of the
// catalogue gettext resolves for the domain "default" now, "en" when it
// resolves none (the English texts are the keys).
std::string CurrentLanguage();
// Switches the language in force; works even when the user's locale is C.
// (One file per system: LanguagePosix.cpp, LanguageWin32.cpp.)
void SetLanguage(const std::string& code);
// Binds a text domain to the catalogues under `localeDir` (a UTF-8 path),
// read as UTF-8.
void BindDomain(const char* domain, const std::string& localeDir);
// The language codes that have a catalogue of the domain "default".
std::vector<std::string> AvailableLanguages();
// A code of the form de_DE (exactly five characters) shortened to its first
// two; any other code as it is.
std::string ShortCode(const std::string& code);
// Name of a language code from the domain "isotolanguagenames".
std::string LanguageName(const std::string& code);
// Printf-style formatting of a translated pattern.
std::string Format(const char* translatedPattern, ...);
const std::string& LocaleDir();
}  // namespace Translate

// The viewer's own message catalogue: the text domain "zvbasic-capview",
// compiled beside the main program's catalogues
// (locale/<code>/LC_MESSAGES/zvbasic-capview.mo), so that its texts never
// collide with the program's. The English text is the key.
#pragma once

#include <string>

#include "formats/CaptureData.h"

namespace ViewerText {

inline constexpr const char* Domain = "zvbasic-capview";

// Where the catalogues are for a program in `exeDir`: the same folder the
// main program uses (beside it, or ../share/zvbasic when installed).
std::string LocaleDir(const std::string& exeDir);

// Binds the viewer's domain (and the program's, for shared helpers) under
// `localeDir`.
void Init(const std::string& localeDir);

// Chooses the language: LANGUAGE from the environment when set, otherwise
// the language saved in zvbasic.ini (found as the main program finds it),
// otherwise the rest of the environment (LC_ALL, LC_MESSAGES, LANG).
// Returns the code in force.
std::string ChooseLanguage(const std::string& exeDir);

const char* Get(const char* text);
// Singular or plural form for n.
const char* Get(const char* singular, const char* plural, unsigned long n);

// Why a capture could not be read, in the user's language: the system's
// text, or that the path is not a regular file.
std::string ReadFailure(const Capture::sReadResult& result);

}  // namespace ViewerText

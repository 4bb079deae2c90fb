// The program's own version texts.
#pragma once

#include <string>

// kind 'v': "v. 3.2"; kind 'b': "build: 3.2.8.0\n"; "unknown" (translated)
// when the version is not available.
std::string GetVersionText(char kind);

struct sVersion {
    unsigned Major = 0, Minor = 0, Release = 0, Build = 0;
    bool Valid = false;
};
// The version compiled into the program.
sVersion ProgramVersion();
// Formats a version the way GetVersionText does; exposed for tests.
std::string FormatVersionText(char kind, const sVersion& v);

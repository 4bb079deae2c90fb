// The program settings file zvbasic.ini: the port last opened, the language
// and the ENABLED flag.
#pragma once

#include <string>

constexpr int SETTINGS_READ_LIMIT = 1024;

class cIni {
public:
    std::string Port;
    std::string Language;
    bool Enabled = false;

    // True when at least two lines were recognised; recognised fields are
    // set either way.
    bool Load(const std::string& path);
    // Writes the file the safe way (SafeWrite::ReplaceFile), making its
    // folder when it is missing; false when it failed (the old file is then
    // left as it was).
    bool Save(const std::string& path) const;

    // Where zvbasic.ini lives: beside the executable when that folder is
    // writable, otherwise $XDG_CONFIG_HOME/zvbasic (default ~/.config/zvbasic).
    static std::string DefaultPath(const std::string& exeDir);
};

// The program settings file zvbasic.ini: the port last opened, the language
// and the ENABLED flag, and the workshop the fitting report names: a section
// "[Report]" with a line "Name: ..." and up to four lines "Address: ...".
#pragma once

#include <string>
#include <vector>

constexpr int SettingsReadLimit = 1024;

class cIni {
public:
    std::string Port;
    std::string Language;
    bool Enabled = false;
    std::string ReportName;                  // the workshop's name
    std::vector<std::string> ReportAddress;  // its address lines

    static constexpr size_t ReportAddressLines = 4;

    // True when at least two lines were recognised; recognised fields are
    // set either way.
    bool Load(const std::string& path);
    // Writes the file the safe way (SafeWrite::ReplaceFile), making its
    // folder when it is missing; false when it failed (the old file is then
    // left as it was). A port name that could not be read back whole (one
    // with blanks or control characters, one longer than the system's path
    // limit, or one that would push the file past SettingsReadLimit) is
    // not written: the port last loaded from the file is kept instead.
    bool Save(const std::string& path) const;

    // Where zvbasic.ini is written: beside the executable in a portable
    // layout (its catalogue folder locale/ beside it, as in the build tree or
    // an unpacked folder) when it can be written there (the folder is
    // writable and so is a file already there), otherwise the per-user file.
    // An installed program (catalogues in ../share, or the installer's
    // marker InstalledMarker beside the executable) writes only the per-user
    // file, even when run by root or where its folder is writable.
    static std::string WritePath(const std::string& exeDir);
    // The file the Windows installer leaves beside the programs.
    static constexpr const char* InstalledMarker = "installed.txt";
    // Where it is read from: where it would be written, when there is a file
    // there; otherwise beside the executable of the program's own layout
    // when a file is there (a read-only unpacked folder's own settings, or
    // those an earlier version wrote into the installed folder); otherwise
    // the per-user file.
    // So settings written to the per-user file because the program's folder
    // is read-only are the ones read at the next start.
    static std::string ReadPath(const std::string& exeDir);
    // The per-user file: $XDG_CONFIG_HOME/zvbasic/zvbasic.ini, by default
    // ~/.config/zvbasic/zvbasic.ini.
    static std::string UserPath();

private:
    std::string LoadedPort;  // the port as the file last loaded held it
};

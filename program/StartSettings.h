// The program's settings at start-up: the options screen's port list, then
// zvbasic.ini read into the settings and put on the screens (the port, the
// language, the screens the main menu opens), or the defaults when there is
// no usable file.
#pragma once

#include <string>
#include <vector>

class cIni;
class TMainForm;
class TOptionsForm;

class cStartSettings {
public:
    cStartSettings(cIni& ini, TOptionsForm& options, TMainForm& main) : Ini(ini), Options(options), Main(main) {}

    // The ports there are now replace the options screen's list, the first
    // one chosen.
    void ShowPorts(const std::vector<std::string>& ports);
    // Reads the file at `path` and shows what it holds; false when it is no
    // usable settings file and the defaults were put in force.
    bool Load(const std::string& path);
    // The port the link is to open: the options screen's choice.
    std::string ChosenPort() const;

private:
    void ApplyFile();
    void ApplyDefaults();
    void EnableScreens();

    cIni& Ini;
    TOptionsForm& Options;
    TMainForm& Main;
    std::vector<std::string> Ports;
};

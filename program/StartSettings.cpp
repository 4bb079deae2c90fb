#include "program/StartSettings.h"

#include <QComboBox>

#include "core/Ini.h"
#include "core/Translate.h"

#include "widgets/ShadowButton.h"

#include "kit/QtText.h"

#include "screens/MainForm.h"
#include "screens/OptionsForm.h"

void cStartSettings::ShowPorts(const std::vector<std::string>& ports) {
    Ports = ports;
    Options.SetPorts(ports);
    Options.ComPortCB->setCurrentIndex(Options.ComPortCB->count() > 0 ? 0 : -1);
}

bool cStartSettings::Load(const std::string& path) {
    if (!Ini.Load(path)) {
        ApplyDefaults();
        return false;
    }
    ApplyFile();
    return true;
}

std::string cStartSettings::ChosenPort() const { return Options.ComPortCB->currentText().toStdString(); }

void cStartSettings::ApplyFile() {
    bool listed = false;
    for (size_t i = 0; i < Ports.size(); ++i)
        if (Ports[i] == Ini.Port) {
            Options.ComPortCB->setCurrentIndex(int(i));
            listed = true;
            break;
        }
    // The fitter's adapter, not plugged in now: kept, shown as not present
    // and tried again until it is there; never replaced by another port
    // without a word.
    if (!listed && !Ini.Port.empty()) Options.SetAbsentPort(Ini.Port);
    if (Ini.Enabled) EnableScreens();
    const QString name = ToQ(Translate::LanguageName(Ini.Language));
    const int at = Options.LangCB->findText(name, Qt::MatchExactly);
    if (at >= 0) {
        Options.LangCB->setCurrentIndex(at);
        Options.LangCBChange();
    }
}

void cStartSettings::ApplyDefaults() {
    Ini.Language = Translate::ShortCode(Translate::CurrentLanguage());
    EnableScreens();
    Ini.Enabled = true;
}

void cStartSettings::EnableScreens() {
    Main.ConfigBtn->setEnabled(true);
    Main.CalibBtn->setEnabled(true);
    Main.VisBtn->setEnabled(true);
}

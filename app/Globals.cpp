#include "app/Globals.h"

#include "app/InfoForm.h"
#include "app/QuestionForm.h"
#include "app/SaveForm.h"
#include "link/CommThread.h"

TMainForm* MainForm = nullptr;
TOptionsForm* OptionsForm = nullptr;
TVisForm* VisForm = nullptr;
TConfigForm* ConfigForm = nullptr;
TCalibForm* CalibForm = nullptr;
TInfoForm* InfoForm = nullptr;
TDataExForm* DataExForm = nullptr;
TLoadForm* LoadForm = nullptr;
TSaveForm* SaveForm = nullptr;
TQuestionForm* QuestionForm = nullptr;
THelpForm* HelpForm = nullptr;
cCommThread* CommThread = nullptr;
cShell* Shell = nullptr;
cIni* Ini = nullptr;

cIOForm* ConfigScreen = nullptr;
cIOForm* CalibScreen = nullptr;
cIOForm* VisScreen = nullptr;
cIOForm* DataExScreen = nullptr;

bool Ask(const QString& text, bool defaultYes) { return QuestionForm && QuestionForm->Ask(text, defaultYes); }

void ShowInfo(const QString& text) {
    if (InfoForm) InfoForm->ShowInfo(text);
}

bool WriteSettingsWithProgress() {
    if (!CommThread) return false;
    // The live poll a closing screen has just asked to stop may still be
    // finishing its exchange: the link serves the write once it has ended.
    if (!CommThread->PostRequestAfterStop(RQ_WRITE_SETTINGS)) return false;
    if (SaveForm) SaveForm->ShowModal();
    return true;
}

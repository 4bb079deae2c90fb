#include "app/Globals.h"

#include "app/InfoForm.h"
#include "app/QuestionForm.h"

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
cIni* Ini = nullptr;

cIOForm* ConfigScreen = nullptr;
cIOForm* CalibScreen = nullptr;
cIOForm* VisScreen = nullptr;
cIOForm* DataExScreen = nullptr;

bool Ask(const QString& text) { return QuestionForm && QuestionForm->Ask(text); }

void ShowInfo(const QString& text) {
    if (InfoForm) InfoForm->ShowInfo(text);
}

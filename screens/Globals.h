// The process-wide objects, created once at start-up in this order and
// reachable from every screen.
#pragma once

#include <vector>

class TMainForm;
class TOptionsForm;
class TVisForm;
class TConfigForm;
class TCalibForm;
class TInfoForm;
class TDataExForm;
class TLoadForm;
class TSaveForm;
class TQuestionForm;
class THelpForm;
class cCommThread;
class cIni;
class cIOForm;

extern TMainForm* MainForm;
extern TOptionsForm* OptionsForm;
extern TVisForm* VisForm;
extern TConfigForm* ConfigForm;
extern TCalibForm* CalibForm;
extern TInfoForm* InfoForm;
extern TDataExForm* DataExForm;
extern TLoadForm* LoadForm;
extern TSaveForm* SaveForm;
extern TQuestionForm* QuestionForm;
extern THelpForm* HelpForm;
extern cCommThread* CommThread;
extern cIni* Ini;
// The forms that hear from the link, in creation order; set with the screens.
extern std::vector<cIOForm*> LinkForms;

// The same four work screens as their common base, set together with the
// typed pointers above, for code that needs no more than the base.
extern cIOForm* ConfigScreen;
extern cIOForm* CalibScreen;
extern cIOForm* VisScreen;
extern cIOForm* DataExScreen;

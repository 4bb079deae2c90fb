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
class QString;
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

// Question dialog: true for Yes; `defaultYes` false makes No the answer of
// Enter. Information dialog: returns when acknowledged.
bool Ask(const QString& text, bool defaultYes = true);
void ShowInfo(const QString& text);

// Posts a settings write and, when the link takes it, shows the save progress
// dialog until the write ends. A live poll that a closing screen has just
// asked to stop may still be finishing its exchange; the link then serves the
// write right after it. False when the link did not take the write.
bool WriteSettingsWithProgress();

struct sUpdate;
// A setting a screen has just changed in WorkSettings: an ECU of version 48
// and above takes it at once as a single-parameter update (queued on the
// link); below 48 it waits in WorkSettings for the next whole write.
void SendSettingUpdate(int ecuVersion, const sUpdate& update);
// Shows the save progress dialog for a write the link has taken, until the
// write ends; a write that did not end with the store is then reported.
void FollowWriteWithProgress();

// Settings kept over a reconnection (cCommThread::HoldsKeptEdits) reach the
// ECU only on the fitter's word. Asked before the first store, update or
// leave-screen question after the reconnection: whether this is the same
// vehicle, No by default. Yes releases them (true: go on with the store or
// update, which then carries them all). No sends nothing and asks whether to
// keep them for later (Yes by default) or drop them and take the ECU's
// settings (false either way). True at once when nothing is held.
bool ConfirmKeptEdits();
// Drops the program's unsaved settings for the ECU's and refills the screens.
void TakeEcuSettings();
// The line the settings screens show about kept settings and another
// vehicle; empty when there is nothing to say.
QString KeptEditsNotice();
// Shows KeptEditsNotice() on every settings screen.
void RefreshKeptEditsNotices();

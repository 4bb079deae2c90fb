// Settings the fitter changed before the line was interrupted and that the
// link keeps over the reconnection (cCommThread::HoldsKeptEdits): they reach
// the ECU only on the fitter's word, and the settings screens say that they
// are held.
#pragma once

// Asked before the first store, update or leave-screen question after the
// reconnection: whether this is the same vehicle, No by default. Yes releases
// them (true: go on with the store or update, which then carries them all).
// No sends nothing and asks whether to keep them for later (Yes by default)
// or drop them and take the ECU's settings; Esc on either question keeps
// them and asks nothing more (false for all but Yes). True at once when
// nothing is held.
bool ConfirmKeptEdits();
// Drops the program's unsaved settings for the ECU's and refills the screens.
void TakeEcuSettings();
// The settings' state changed (edited, stored, dropped, loaded, read): the
// main menu's highlight of unsaved settings and the kept-edits notice on
// every settings screen follow, once.
void SettingsStateChanged();
// Fills the shown configuration and calibration screens from the settings
// again, then SettingsStateChanged.
void RefillSettingsScreens();

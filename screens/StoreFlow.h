// Storing the settings in the ECU from a screen: the whole write with its
// progress dialog, and the single-parameter update of a newer ECU. Both ask
// about kept settings first (screens/KeptEdits.h).
#pragma once

struct sUpdate;

// Posts a settings write and, when the link takes it, shows the save progress
// dialog until the write ends. A live poll that a closing screen has just
// asked to stop may still be finishing its exchange; the link then serves the
// write right after it. False when the link did not take the write.
bool WriteSettingsWithProgress();

// Shows the save progress dialog for a write the link has taken, until the
// write ends; a write that did not end with the store is then reported.
void FollowWriteWithProgress();

// A setting a screen has just changed in WorkSettings: an ECU of version 48
// and above takes it at once as a single-parameter update (queued on the
// link); below 48 it waits in WorkSettings for the next whole write. While
// settings are held over a reconnection the fitter is asked first
// (ConfirmKeptEdits). False when nothing was queued on a newer ECU because
// the fitter did not release them (or there is no link).
bool SendSettingUpdate(int ecuVersion, const sUpdate& update);

// The two plain dialogs every screen asks through: a question with Yes and
// No, and a piece of information to acknowledge. Both do nothing until the
// dialogs exist.
#pragma once

class QString;

// Question dialog: true for Yes; `defaultYes` false makes No the answer of
// Enter. False when there is no question dialog.
bool Ask(const QString& text, bool defaultYes = true);
// Information dialog: returns when acknowledged.
void ShowInfo(const QString& text);

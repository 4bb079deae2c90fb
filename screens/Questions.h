// The two plain dialogs every screen asks through: a question with Yes and
// No, and a piece of information to acknowledge. Both do nothing until the
// dialogs exist.
#pragma once

class QString;

// Question dialog: true for Yes; `defaultYes` false makes No the answer of
// Enter. Esc answers `escapeYes`, which must be the answer that sends
// nothing and loses nothing; it is also the answer when there is no
// question dialog.
bool Ask(const QString& text, bool defaultYes = true, bool escapeYes = false);
// The same question, telling Esc (or a closed dialog) apart from No;
// Escape when there is no question dialog.
enum class eAnswer { Yes, No, Escape };
eAnswer AskAnswer(const QString& text, bool defaultYes);
// Information dialog: returns when acknowledged.
void ShowInfo(const QString& text);

#include "screens/Questions.h"

#include "screens/Globals.h"
#include "screens/InfoForm.h"
#include "screens/QuestionForm.h"

bool Ask(const QString& text, bool defaultYes) { return QuestionForm && QuestionForm->Ask(text, defaultYes); }

void ShowInfo(const QString& text) {
    if (InfoForm) InfoForm->ShowInfo(text);
}

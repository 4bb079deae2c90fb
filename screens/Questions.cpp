#include "screens/Questions.h"

#include "screens/Globals.h"
#include "screens/InfoForm.h"
#include "screens/QuestionForm.h"

bool Ask(const QString& text, bool defaultYes, bool escapeYes) {
    return QuestionForm ? QuestionForm->Ask(text, defaultYes, escapeYes) : escapeYes;
}

eAnswer AskAnswer(const QString& text, bool defaultYes) {
    return QuestionForm ? QuestionForm->Answer(text, defaultYes) : eAnswer::Escape;
}

void ShowInfo(const QString& text) {
    if (InfoForm) InfoForm->ShowInfo(text);
}

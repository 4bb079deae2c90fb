// The yes/no question dialog.
#pragma once

#include "kit/IOForm.h"

class QLabel;
class cShadowButton;
class cShape;

class TQuestionForm : public cIOForm {
    Q_OBJECT
public:
    explicit TQuestionForm(QWidget* parent = nullptr);

    QLabel* TextLL;
    cShadowButton* YesBtn;
    cShadowButton* NoBtn;
    QLabel* Image1;
    cShape* Frame;

    // Shows the question modally; true exactly when answered with Yes.
    // Enter gives the answer that looks selected when the question comes
    // up: Yes, or No when `defaultYes` is false (questions whose Yes cannot
    // be undone).
    bool Ask(const QString& text, bool defaultYes = true);
    // The question's text, drawn smaller where a line would not fit.
    void SetText(const QString& text);
    void Retranslate() override;

    // The answer a key gives (ResultOK, ResultCancel, or ResultNone for a key
    // that is no answer): Yes for Enter, Space, T and the first letter of the
    // YES button's caption; No for Esc, N and the first letter of the NO
    // button's caption; letters in either case.
    static int AnswerForKey(int key, const QString& text, const QString& yesCaption, const QString& noCaption);

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool DefaultYes = true;
};

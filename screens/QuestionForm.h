// The yes/no question dialog.
#pragma once

#include "kit/IOForm.h"

#include "screens/Questions.h"

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

    // Shows the question modally; true when answered with Yes. The answer
    // that looks selected when the question comes up is Yes, or No when
    // `defaultYes` is false (questions whose Yes cannot be undone); the
    // arrows and Tab move the selection between the two buttons, and Enter
    // and Space take the selected one. Esc, and closing the dialog any
    // other way, give `escapeYes`: the answer that changes nothing.
    bool Ask(const QString& text, bool defaultYes = true, bool escapeYes = false);
    // The same, telling Esc (or a closed window) apart from No.
    eAnswer Answer(const QString& text, bool defaultYes);
    // The answer Enter would give now, and marking it (filled and outlined).
    bool YesSelected() const { return SelectedYes; }
    void Select(bool yes);
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
    // Tab and Shift+Tab move the selection (the buttons take no focus).
    bool focusNextPrevChild(bool next) override;

private:
    bool SelectedYes = true;
    // The No button's answer, told apart from Esc and a closed window.
    static constexpr int ResultNo = 3;
};

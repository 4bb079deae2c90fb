// The yes/no question dialog.
#pragma once

#include "app/IOForm.h"

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
    void Retranslate() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool DefaultYes = true;
};

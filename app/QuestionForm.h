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

    // Shows the question modally; true exactly when answered with Yes. With
    // `defaultNo` No looks selected and Enter answers No (T still answers
    // Yes): for questions whose Yes may cost the fitter's work.
    bool Ask(const QString& text, bool defaultNo = false);
    void Retranslate() override;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    bool DefaultNo = false;
};

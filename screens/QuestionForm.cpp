#include "screens/QuestionForm.h"

#include <QKeyEvent>
#include <QLabel>

#include "widgets/Palette.h"
#include "widgets/ShadowButton.h"
#include "widgets/Shape.h"

#include "kit/QtText.h"

TQuestionForm::TQuestionForm(QWidget* parent) : cIOForm(parent) {
    setObjectName(QStringLiteral("QuestionForm"));
    Frame = new cShape(this);
    Frame->SetBrush(Qt::transparent);
    Frame->SetRadius(6);
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    TextLL = new QLabel(this);
    TextLL->setObjectName(QStringLiteral("TextLL"));
    TextLL->setAlignment(Qt::AlignCenter);
    // A question longer than the dialog is wide (one naming a file's
    // damaged line) wraps; the others carry their own line ends.
    TextLL->setWordWrap(true);
    QPalette pal = TextLL->palette();
    pal.setColor(QPalette::WindowText, Palette::Yellow);
    TextLL->setPalette(pal);
    YesBtn = new cShadowButton(this);
    YesBtn->setObjectName(QStringLiteral("YesBtn"));
    NoBtn = new cShadowButton(this);
    NoBtn->setObjectName(QStringLiteral("NoBtn"));
    for (cShadowButton* b : {YesBtn, NoBtn}) b->SetAlignment(Qt::AlignCenter);
    Select(true);
    // The text, the picture place and the frame count as background for the
    // buttons' hover colours. A control that does not track the mouse drops
    // the moves over it, so they would never reach the form.
    for (QWidget* w : std::initializer_list<QWidget*>{Frame, Image1, TextLL}) w->setMouseTracking(true);

    connect(YesBtn, &QAbstractButton::clicked, this, [this] { Done(ResultOK); });
    connect(NoBtn, &QAbstractButton::clicked, this, [this] { Done(ResultNo); });
    RegisterLargeButton(YesBtn, 0);
    RegisterLargeButton(NoBtn, 0);

    SetupDialog(440, 250);
    Place(Frame, 0, 0, 440, 250);
    Place(Image1, 16, 16, 32, 32);
    Place(TextLL, 56, 16, 368, 120, 14, true);
    Place(YesBtn, 50, 160, 150, 64, 18, true);
    Place(NoBtn, 240, 160, 150, 64, 18, true);
    TextLL->setText(QStringLiteral("Do you really want\r\nto quit program?"));
    Retranslate();
}

void TQuestionForm::Retranslate() {
    setWindowTitle(Tr("Question"));
    YesBtn->setText(Tr("YES"));
    NoBtn->setText(Tr("NO"));
}

void TQuestionForm::SetText(const QString& text) {
    TextLL->setText(text);
    FitText(TextLL);  // a long line (a file name) is drawn smaller rather than cut
}

void TQuestionForm::Select(bool yes) {
    SelectedYes = yes;
    // The selected answer is filled and outlined; the outline stays while
    // the mouse passes over the buttons and changes their fills.
    cShadowButton* const selected = yes ? YesBtn : NoBtn;
    cShadowButton* const other = yes ? NoBtn : YesBtn;
    selected->SetFill(cShadowButton::HoverFill());
    other->SetFill(cShadowButton::NormalFill());
    selected->SetOutline(5, Palette::Yellow);
    other->SetOutline(2, cShadowButton::OutlineColor());
}

eAnswer TQuestionForm::Answer(const QString& text, bool defaultYes) {
    SetText(text);
    Select(defaultYes);
    const int result = ShowModal();
    Select(true);
    if (result == ResultOK) return eAnswer::Yes;
    if (result == ResultNo) return eAnswer::No;
    return eAnswer::Escape;  // Esc, or the window closed
}

bool TQuestionForm::Ask(const QString& text, bool defaultYes, bool escapeYes) {
    switch (Answer(text, defaultYes)) {
    case eAnswer::Yes: return true;
    case eAnswer::No: return false;
    case eAnswer::Escape: break;
    }
    return escapeYes;
}

bool TQuestionForm::focusNextPrevChild(bool) {
    Select(!SelectedYes);
    return true;
}

int TQuestionForm::AnswerForKey(int key, const QString& text, const QString& yesCaption, const QString& noCaption) {
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) return ResultOK;
    if (key == Qt::Key_Escape) return ResultCancel;
    if (text.size() != 1) return ResultNone;
    const QChar typed = text.at(0).toLower();
    const auto initial = [](const QString& caption) {
        const QString trimmed = caption.trimmed();
        return trimmed.isEmpty() ? QChar() : trimmed.at(0).toLower();
    };
    // The letters that have always answered come first, so that a
    // translation cannot take them over.
    if (typed == QLatin1Char('t')) return ResultOK;
    if (typed == QLatin1Char('n')) return ResultCancel;
    if (!typed.isLetter()) return ResultNone;
    if (typed == initial(yesCaption)) return ResultOK;
    if (typed == initial(noCaption)) return ResultCancel;
    return ResultNone;
}

void TQuestionForm::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    switch (key) {
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        event->accept();
        Select(!SelectedYes);
        return;
    default: break;
    }
    int answer = AnswerForKey(key, event->text(), YesBtn->text(), NoBtn->text());
    // Enter and Space give the answer that looks selected.
    if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space)
        answer = SelectedYes ? ResultOK : ResultNo;
    else if (answer == ResultCancel && key != Qt::Key_Escape) answer = ResultNo;
    if (answer != ResultNone) {
        event->accept();
        Done(answer);
        return;
    }
    // Other keys (F10 among them) do nothing; closing the window any other
    // way answers as Esc does.
    cIOForm::keyPressEvent(event);
}

#include "screens/InfoForm.h"

#include <algorithm>
#include <cmath>

#include <QCloseEvent>
#include <QEventLoop>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>

#include "widgets/Palette.h"
#include "widgets/ShadowButton.h"
#include "widgets/Shape.h"

#include "kit/IOForm.h"
#include "kit/QtText.h"

TInfoForm::TInfoForm(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("InfoForm"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setMouseTracking(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Palette::Navy);
    pal.setColor(QPalette::WindowText, Palette::Yellow);
    setPalette(pal);
    setAutoFillBackground(true);

    Frame = new cShape(this);
    Frame->SetBrush(Qt::transparent);
    Frame->SetRadius(6);
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    TextLL = new QLabel(this);
    TextLL->setObjectName(QStringLiteral("TextLL"));
    TextLL->setAlignment(Qt::AlignCenter);
    TextLL->setWordWrap(true);
    TextLL->setText(QStringLiteral("Incorrect settings!"));
    Image1->raise();
    OKBtn = new cShadowButton(this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->SetAlignment(Qt::AlignCenter);
    OKBtn->installEventFilter(this);
    connect(OKBtn, &QAbstractButton::clicked, this, &QWidget::close);
    // The text, the picture place and the frame count as background for the
    // button's hover colour. A control that does not track the mouse drops
    // the moves over it, so they would never reach the form.
    for (QWidget* w : std::initializer_list<QWidget*>{Frame, Image1, TextLL}) w->setMouseTracking(true);
    FitText();
    Retranslate();
}

TInfoForm::~TInfoForm() {
    if (Loop) Loop->exit();
}

void TInfoForm::Retranslate() {
    setWindowTitle(Tr("Information"));
    OKBtn->setText(Tr("OK"));
}

void TInfoForm::SetText(const QString& text, const QString& toolTip) {
    TextLL->setText(text);
    TextLL->setToolTip(toolTip);
    FitText();
}

void TInfoForm::ShowInfo(const QString& text, const QString& toolTip) {
    SetText(text, toolTip);
    if (Loop) return;  // already up: it now shows the latest text
    setWindowModality(Qt::ApplicationModal);
    QEventLoop loop;
    Loop = &loop;
    show();
    raise();
    activateWindow();
    if (isVisible()) loop.exec(QEventLoop::DialogExec);
    Loop = nullptr;
    hide();
    setWindowModality(Qt::NonModal);
}

int TInfoForm::MaxTextWidth() {
    const double r = cIOForm::DialogRatio();
    const int baseW = Scaled(440, r), baseTextW = Scaled(368, r);
    return std::max(baseTextW, cIOForm::ProgramWindow().width() - Scaled(40, r) - (baseW - baseTextW));
}

int TInfoForm::Scaled(int designPixels, double ratio) { return int(std::lround(designPixels * ratio)); }

void TInfoForm::FitText() {
    // Laid out like the screens, with the ratio of the program's window
    // (the design is 440 x 230).
    const double r = cIOForm::DialogRatio();
    const auto s = [r](int design) { return Scaled(design, r); };
    TextLL->setFont(DesignFont(s(19), true));
    OKBtn->setFont(DesignFont(s(24), true));
    Image1->setGeometry(s(16), s(16), s(32), s(32));
    OKBtn->resize(s(150), s(64));
    // The dialog grows for a text longer than its usual three short lines
    // (the port error with the group advice): wider up to the window for
    // long lines, so that a command stays on one line, then taller; it stays
    // centred. A short text gets the usual size back.
    const int baseW = s(440), baseH = s(230), baseTextW = s(368), baseTextH = s(110);
    const QRect screen = cIOForm::ProgramWindow();
    int widest = 0;
    for (const QString& line : TextLL->text().split(QLatin1Char('\n')))
        widest = std::max(widest, TextLL->fontMetrics().horizontalAdvance(line) + 8);
    const int textW = std::clamp(widest, baseTextW, MaxTextWidth());
    const int w = baseW + (textW - baseTextW);
    const int extra = std::max(0, TextLL->heightForWidth(textW) - baseTextH);
    const int h = std::min(baseH + extra, std::max(baseH, screen.height()));
    const int grow = h - baseH;
    setFixedSize(w, h);
    Frame->setGeometry(0, 0, w, h);
    TextLL->setGeometry(s(56), s(16), textW, baseTextH + grow);
    OKBtn->move((w - OKBtn->width()) / 2, s(146) + grow);
    move(cIOForm::DialogPosition(size()));
}

void TInfoForm::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
    case Qt::Key_Space:
    case Qt::Key_F10:
        event->accept();
        close();
        return;
    default: event->ignore();
    }
}

void TInfoForm::mouseMoveEvent(QMouseEvent* event) {
    OKBtn->SetFill(cShadowButton::NormalFill());
    QWidget::mouseMoveEvent(event);
}

bool TInfoForm::eventFilter(QObject* watched, QEvent* event) {
    if (watched == OKBtn && (event->type() == QEvent::MouseMove || event->type() == QEvent::Enter)) {
        OKBtn->SetFill(cShadowButton::HoverFill());
        if (event->type() == QEvent::MouseMove && static_cast<QMouseEvent*>(event)->buttons() == Qt::NoButton)
            return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TInfoForm::closeEvent(QCloseEvent* event) {
    event->accept();
    if (Loop) Loop->exit();
}

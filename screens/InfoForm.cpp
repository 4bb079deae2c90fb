#include "screens/InfoForm.h"

#include <algorithm>

#include <QCloseEvent>
#include <QEventLoop>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>

#include "kit/IOForm.h"
#include "kit/QtText.h"
#include "widgets/Shape.h"
#include "widgets/ShadowButton.h"
#include "widgets/Palette.h"

TInfoForm::TInfoForm(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("InfoForm"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setMouseTracking(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Palette::Navy);
    pal.setColor(QPalette::WindowText, Palette::Yellow);
    setPalette(pal);
    setAutoFillBackground(true);

    const int w = 440, h = 230;
    setFixedSize(w, h);
    QRect screen = cIOForm::ScreenRect();
    move(screen.x() + (screen.width() - w) / 2, screen.y() + (screen.height() - h) / 2);

    Frame = new cShape(this);
    Frame->SetBrush(Qt::transparent);
    Frame->SetRadius(6);
    Frame->setGeometry(0, 0, w, h);
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(16, 16, 32, 32);
    TextLL = new QLabel(this);
    TextLL->setObjectName(QStringLiteral("TextLL"));
    TextLL->setAlignment(Qt::AlignCenter);
    TextLL->setGeometry(56, 16, 368, 110);
    TextLL->setWordWrap(true);
    TextLL->setFont(DesignFont(19, true));
    TextLL->setText(QStringLiteral("Incorrect settings!"));
    Image1->raise();
    OKBtn = new cShadowButton(this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->SetAlignment(Qt::AlignCenter);
    OKBtn->setGeometry(145, 146, 150, 64);
    OKBtn->setFont(DesignFont(24, true));
    OKBtn->installEventFilter(this);
    connect(OKBtn, &QAbstractButton::clicked, this, &QWidget::close);
    // The text, the picture place and the frame count as background for the
    // button's hover colour. A control that does not track the mouse drops
    // the moves over it, so they would never reach the form.
    for (QWidget* w : std::initializer_list<QWidget*>{Frame, Image1, TextLL}) w->setMouseTracking(true);
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
    const int baseW = 440, baseTextW = 368;
    return std::max(baseTextW, cIOForm::ScreenRect().width() - 40 - (baseW - baseTextW));
}

void TInfoForm::FitText() {
    // The dialog grows for a text longer than its usual three short lines
    // (the port error with the group advice): wider up to the screen for
    // long lines, so that a command stays on one line, then taller; it stays
    // centred. A short text gets the usual size back.
    const int baseW = 440, baseH = 230, baseTextW = 368, baseTextH = 110;
    const QRect screen = cIOForm::ScreenRect();
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
    TextLL->setGeometry(56, 16, textW, baseTextH + grow);
    OKBtn->move((w - OKBtn->width()) / 2, 146 + grow);
    move(screen.x() + (screen.width() - w) / 2, screen.y() + (screen.height() - h) / 2);
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
    default:
        event->ignore();
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

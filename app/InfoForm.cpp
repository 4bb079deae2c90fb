#include "app/InfoForm.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>

#include "app/IOForm.h"
#include "app/QtText.h"
#include "app/Shape.h"
#include "widgets/ShadowButton.h"

TInfoForm::TInfoForm(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("InfoForm"));
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setMouseTracking(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, QColor(0, 0, 128));
    pal.setColor(QPalette::WindowText, QColor(255, 255, 0));
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
    // Centred over the whole width: the picture place in the corner is empty.
    TextLL->setGeometry(16, 16, w - 32, 110);
    TextLL->setFont(DesignFont(TextPixels, true));
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

QFont TInfoForm::FittedFont(const QString& text) const {
    const QStringList lines = text.split(QLatin1Char('\n'));
    QFont f = DesignFont(TextPixels, true);
    for (int px = TextPixels; px >= MinTextPixels; --px) {
        f = DesignFont(px, true);
        const QFontMetricsF fm(f);
        double widest = 0;
        for (const QString& line : lines) widest = std::max(widest, fm.horizontalAdvance(line));
        if (widest <= TextLL->contentsRect().width()) break;
    }
    return f;
}

void TInfoForm::ShowInfo(const QString& text, const QString& toolTip) {
    TextLL->setFont(FittedFont(text));
    TextLL->setText(text);
    TextLL->setToolTip(toolTip);
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

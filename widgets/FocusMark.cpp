#include "widgets/FocusMark.h"

#include <QPainter>

#include "widgets/Palette.h"

cFocusMark::cFocusMark(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("FocusMark"));
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_NoSystemBackground);
    setFocusPolicy(Qt::NoFocus);
    hide();
}

QRect cFocusMark::RingRect(const QRect& control, int gap, int width) {
    const int out = gap + width;
    return control.adjusted(-out, -out, out, out);
}

void cFocusMark::Follow(QWidget* control, int gap, int width) {
    Control = control;
    Width = std::max(1, width);
    if (!control || !control->parentWidget()) {
        hide();
        return;
    }
    if (parentWidget() != control->parentWidget()) setParent(control->parentWidget());
    setGeometry(RingRect(control->geometry(), gap, Width));
    show();
    raise();
    update();
}

void cFocusMark::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const qreal half = Width / 2.0;
    // A black edge inside and outside keeps the ring plain on light controls
    // (the beige lists) as well as on the navy ground.
    p.setPen(QPen(Palette::Black, Width + 2));
    p.setBrush(Qt::NoBrush);
    const QRectF ring = QRectF(rect()).adjusted(half + 1, half + 1, -half - 1, -half - 1);
    p.drawRoundedRect(ring, Width + 1, Width + 1);
    p.setPen(QPen(Palette::Yellow, Width));
    p.drawRoundedRect(ring, Width + 1, Width + 1);
}

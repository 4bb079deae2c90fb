#include "widgets/Lamp.h"

#include <QPainter>
#include <QRadialGradient>

#include "widgets/PaintProbe.h"

cLamp::cLamp(QWidget* parent) : QWidget(parent) {}

cLamp::cLamp(const QColor& lit, const QColor& dark, QWidget* parent)
    : QWidget(parent),
      LitColor(lit),
      DarkColor(dark) {}

void cLamp::SetColors(const QColor& lit, const QColor& dark) {
    if (lit == LitColor && dark == DarkColor) return;
    LitColor = lit;
    DarkColor = dark;
    ++Requests;
    PaintProbe::Requested(this);
    update();
}

void cLamp::SetLit(bool lit) {
    if (lit == Lit) return;
    Lit = lit;
    ++Requests;
    PaintProbe::Requested(this);
    update();
}

void cLamp::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor base = Color();
    const double d = std::min(width(), height()) - 2;
    const QRectF r((width() - d) / 2, (height() - d) / 2, d, d);
    QRadialGradient g(r.center() - QPointF(d * 0.15, d * 0.15), d * 0.65);
    g.setColorAt(0, Lit ? base.lighter(160) : base.lighter(120));
    g.setColorAt(1, base);
    p.setPen(QPen(QColor(20, 20, 20), 1));
    p.setBrush(g);
    p.drawEllipse(r);
    p.end();
    PaintProbe::Painted(this);
}

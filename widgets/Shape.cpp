#include "widgets/Shape.h"

#include <QPainter>

cShape::cShape(QWidget* parent) : QWidget(parent) { setAttribute(Qt::WA_TranslucentBackground); }

void cShape::SetBrush(const QColor& color) {
    if (color == BrushColor) return;
    BrushColor = color;
    update();
}

void cShape::SetPen(const QColor& color, int width) {
    PenColor = color;
    PenWidth = width;
    update();
}

void cShape::SetRadius(int radius) {
    Radius = radius;
    update();
}

void cShape::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (PenWidth > 0) p.setPen(QPen(PenColor, PenWidth));
    else p.setPen(Qt::NoPen);
    p.setBrush(BrushColor.alpha() == 0 ? QBrush(Qt::NoBrush) : QBrush(BrushColor));
    qreal half = PenWidth / 2.0;
    QRectF r = QRectF(rect()).adjusted(half, half, -half, -half);
    p.drawRoundedRect(r, Radius, Radius);
}

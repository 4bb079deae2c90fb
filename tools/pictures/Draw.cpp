#include "Draw.h"

#include <QFont>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainterPath>
#include <QPen>

namespace draw {

QFont Font(int pixelSize, bool bold, bool italic) {
    QFont f("DejaVu Sans");
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}

void Text(QPainter& p, const QRectF& rect, int flags, const QString& text, int pixelSize, bool bold,
          const QColor& colour) {
    p.save();
    // A translation longer than the English text gets smaller type, down to
    // two thirds of the size asked for, rather than running over its place.
    QFont font = Font(pixelSize, bold);
    for (int size = pixelSize; size > pixelSize * 2 / 3; --size) {
        font.setPixelSize(size);
        const QFontMetricsF fm(font);
        const QRectF need = fm.boundingRect(rect, flags, text);
        if (need.width() <= rect.width() + 0.5 && need.height() <= rect.height() + 0.5) break;
    }
    p.setFont(font);
    p.setPen(colour);
    p.drawText(rect, flags, text);
    p.restore();
}

void Wire(QPainter& p, const QPolygonF& path, const sWireColour& colour, double width) {
    p.save();
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(40, 40, 40), width + 3, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    p.drawPolyline(path);
    p.setPen(QPen(colour.Base, width, Qt::SolidLine, Qt::FlatCap, Qt::RoundJoin));
    p.drawPolyline(path);
    if (colour.Stripe.isValid()) {
        QPen stripe(colour.Stripe, width * 0.4, Qt::CustomDashLine, Qt::FlatCap, Qt::RoundJoin);
        stripe.setDashPattern({5, 4});
        p.setPen(stripe);
        p.drawPolyline(path);
    }
    p.restore();
}

void Ground(QPainter& p, QPointF top) {
    p.save();
    p.setPen(QPen(Ink, 3, Qt::SolidLine, Qt::FlatCap));
    const double x = top.x(), y = top.y();
    p.drawLine(QPointF(x, y), QPointF(x, y + 16));
    p.drawLine(QPointF(x - 16, y + 16), QPointF(x + 16, y + 16));
    p.drawLine(QPointF(x - 10, y + 22), QPointF(x + 10, y + 22));
    p.drawLine(QPointF(x - 4, y + 28), QPointF(x + 4, y + 28));
    p.restore();
}

void Junction(QPainter& p, QPointF at) {
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(Ink);
    p.drawEllipse(at, 7, 7);
    p.restore();
}

}  // namespace draw

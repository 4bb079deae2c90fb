#include "Draw.h"

#include <QFont>
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
    p.setFont(Font(pixelSize, bold));
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

void Console(QPainter& p, const QRectF& rect, bool lit) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(rect.topLeft());
    p.scale(rect.width() / 300.0, rect.height() / 150.0);

    // Housing.
    QLinearGradient body(0, 0, 0, 150);
    body.setColorAt(0, QColor(78, 84, 94));
    body.setColorAt(1, QColor(28, 31, 36));
    p.setPen(QPen(QColor(160, 165, 175), 3));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(3, 3, 294, 144), 22, 22);
    p.setPen(QPen(QColor(15, 16, 19), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(12, 12, 276, 126), 16, 16);

    // Letters G (gas) and B (petrol) with their lamps below them.
    p.setFont(Font(46, true));
    p.setPen(QColor(230, 232, 236));
    p.drawText(QRectF(15, 22, 50, 60), Qt::AlignCenter, "G");
    p.drawText(QRectF(235, 22, 50, 60), Qt::AlignCenter, "B");

    auto lamp = [&](QPointF c, double r, QColor on, QColor off, bool isLit) {
        p.setPen(QPen(QColor(10, 10, 12), 2));
        QColor fill = isLit ? on : off;
        QRadialGradient g(c - QPointF(r / 3, r / 3), r * 1.4);
        g.setColorAt(0, fill.lighter(isLit ? 150 : 130));
        g.setColorAt(1, fill);
        p.setBrush(g);
        p.drawEllipse(c, r, r);
    };
    lamp(QPointF(40, 108), 10, QColor(0, 255, 0), QColor(0, 64, 0), lit);
    lamp(QPointF(260, 108), 10, QColor(255, 0, 0), QColor(128, 0, 0), false);

    // Level wedge: a ramp that grows towards the full end, with the reserve
    // lamp at its thin end and five level lamps under it.
    QPolygonF wedge;
    wedge << QPointF(78, 80) << QPointF(226, 80) << QPointF(226, 30);
    QLinearGradient wg(78, 0, 226, 0);
    wg.setColorAt(0, QColor(255, 160, 66));
    wg.setColorAt(1, QColor(255, 128, 0));
    p.setPen(QPen(QColor(20, 20, 20), 2));
    p.setBrush(wg);
    p.drawPolygon(wedge);
    for (int i = 0; i < 6; ++i) {
        QPointF c(88 + 26 * i, 98);
        if (i == 0)
            lamp(c, 8, QColor(255, 0, 0), QColor(128, 0, 0), false);
        else
            lamp(c, 8, QColor(0, 255, 0), QColor(0, 64, 0), lit && i <= 3);
    }

    // Console button.
    QRadialGradient bg(QPointF(146, 124), 16);
    bg.setColorAt(0, QColor(120, 125, 135));
    bg.setColorAt(1, QColor(50, 53, 60));
    p.setPen(QPen(QColor(10, 10, 12), 2));
    p.setBrush(bg);
    p.drawEllipse(QPointF(150, 128), 11, 11);
    p.restore();
}

}  // namespace draw

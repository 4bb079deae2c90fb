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
    // Design size 500 x 170, matching the visualisation screen, whose lamps
    // and console button lie over the seats drawn here (centres in picture
    // pixels): level lamps 0..5 at x 96 + 56 i, y 50 (28 across); gas lamp
    // (40, 120) and petrol lamp (460, 120) (40 across); button (250, 133).
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    p.translate(rect.topLeft());
    p.scale(rect.width() / 500.0, rect.height() / 170.0);

    // Housing with an inner bevel.
    QLinearGradient body(0, 0, 0, 170);
    body.setColorAt(0, QColor(78, 84, 94));
    body.setColorAt(1, QColor(28, 31, 36));
    p.setPen(QPen(QColor(160, 165, 175), 3));
    p.setBrush(body);
    p.drawRoundedRect(QRectF(2, 2, 496, 166), 32, 32);
    p.setPen(QPen(QColor(15, 16, 19), 2));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(QRectF(10, 10, 480, 150), 26, 26);

    // Letters G (gas) and B (petrol), their lamps below them.
    p.setFont(Font(58, true));
    p.setPen(QColor(230, 232, 236));
    p.drawText(QRectF(0, 12, 80, 78), Qt::AlignCenter, "G");
    p.drawText(QRectF(420, 12, 80, 78), Qt::AlignCenter, "B");

    auto seat = [&](QPointF c, double r, QColor on, QColor off, bool isLit) {
        // Bezel, then the lamp glass.
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(12, 12, 14));
        p.drawEllipse(c, r + 4, r + 4);
        QColor fill = isLit ? on : off;
        QRadialGradient g(c - QPointF(r / 3, r / 3), r * 1.4);
        g.setColorAt(0, fill.lighter(isLit ? 150 : 130));
        g.setColorAt(1, fill);
        p.setPen(QPen(QColor(10, 10, 12), 2));
        p.setBrush(g);
        p.drawEllipse(c, r, r);
    };
    seat(QPointF(40, 120), 20, QColor(0, 255, 0), QColor(0, 64, 0), lit);
    seat(QPointF(460, 120), 20, QColor(255, 0, 0), QColor(128, 0, 0), false);

    // Level wedge under the level lamps: thin at the reserve end, thick at
    // the full end.
    QPolygonF wedge;
    wedge << QPointF(80, 104) << QPointF(412, 104) << QPointF(412, 72);
    QLinearGradient wg(80, 0, 412, 0);
    wg.setColorAt(0, QColor(255, 160, 66));
    wg.setColorAt(1, QColor(255, 128, 0));
    p.setPen(QPen(QColor(20, 20, 20), 2));
    p.setBrush(wg);
    p.drawPolygon(wedge);
    for (int i = 0; i < 6; ++i) {
        const QPointF c(96 + 56 * i, 50);
        if (i == 0)
            seat(c, 14, QColor(255, 0, 0), QColor(128, 0, 0), false);
        else
            seat(c, 14, QColor(0, 255, 0), QColor(0, 64, 0), lit && i <= 3);
    }

    // Seat of the console button.
    p.setPen(QPen(QColor(10, 10, 12), 2));
    p.setBrush(QColor(12, 12, 14));
    p.drawRoundedRect(QRectF(208, 112, 84, 42), 10, 10);
    QLinearGradient bg(0, 116, 0, 150);
    bg.setColorAt(0, QColor(120, 125, 135));
    bg.setColorAt(1, QColor(50, 53, 60));
    p.setBrush(bg);
    p.drawRoundedRect(QRectF(215, 116, 70, 34), 6, 6);
    p.restore();
}

}  // namespace draw

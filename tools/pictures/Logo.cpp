// The program's logo and the stand-alone console picture.
#include <QPainterPath>
#include <QPen>
#include <QTransform>

#include <algorithm>

#include "Draw.h"

namespace draw {
namespace {

// Scales and moves a path so that its bounds fill `target`, keeping its shape.
QPainterPath FitInto(const QPainterPath& path, const QRectF& target) {
    const QRectF b = path.boundingRect();
    const double k = std::min(target.width() / b.width(), target.height() / b.height());
    QTransform t;
    t.translate(target.left(), target.top());
    t.scale(k, k);
    t.translate(-b.left(), -b.top());
    return t.map(path);
}

}  // namespace

QImage LogoPicture() {
    // Design size 424 x 112, the main menu's logo place. Drawn at that size:
    // decoding a larger picture would cost the start-up more than it gains.
    QImage image(424, 112, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // A drop of liquid gas with a blue flame inside it (also the icon).
    PaintShapes(p, DropShapes());

    // The name, with a dark edge so it reads on navy and on light ground.
    QPainterPath name;
    name.addText(QPointF(0, 0), Font(74, true, true), "ZORVA");
    name = FitInto(name, QRectF(88, 8, 330, 60));
    p.setPen(QPen(QColor(90, 35, 0), 1.5));
    QLinearGradient ng(0, 8, 0, 68);
    ng.setColorAt(0, QColor(255, 176, 80));
    ng.setColorAt(1, QColor(255, 128, 0));
    p.setBrush(ng);
    p.drawPath(name);

    // Swoosh under the name.
    QPainterPath swoosh;
    swoosh.moveTo(90, 78);
    swoosh.cubicTo(190, 88, 320, 82, 418, 68);
    swoosh.cubicTo(320, 90, 190, 96, 90, 78);
    p.setPen(QPen(QColor(255, 128, 0), 1.5));
    p.setBrush(QColor(255, 128, 0));
    p.drawPath(swoosh);

    // "BASIC" in spaced capitals, light with a navy edge.
    QFont f = Font(19, true);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 8);
    QPainterPath basic;
    basic.addText(QPointF(96, 106), f, "BASIC");
    p.setPen(QPen(Navy, 1));
    p.setBrush(QColor(235, 238, 245));
    p.drawPath(basic);
    return image;
}

QImage ConsolePicture() {
    QImage image(500, 170, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    Console(p, QRectF(0, 0, 500, 170), false);
    return image;
}

}  // namespace draw

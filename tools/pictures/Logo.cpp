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
    QImage image(400, 200, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);

    // A drop of liquid gas with a blue flame inside it.
    QPainterPath drop;
    drop.moveTo(72, 22);
    drop.cubicTo(92, 62, 122, 86, 122, 122);
    drop.cubicTo(122, 152, 99, 174, 72, 174);
    drop.cubicTo(45, 174, 22, 152, 22, 122);
    drop.cubicTo(22, 86, 52, 62, 72, 22);
    QLinearGradient dg(0, 22, 0, 174);
    dg.setColorAt(0, QColor(255, 190, 90));
    dg.setColorAt(0.55, QColor(255, 128, 0));
    dg.setColorAt(1, QColor(200, 80, 0));
    p.setPen(QPen(QColor(120, 50, 0), 3));
    p.setBrush(dg);
    p.drawPath(drop);

    QPainterPath flame;
    flame.moveTo(74, 88);
    flame.cubicTo(80, 108, 98, 118, 94, 140);
    flame.cubicTo(91, 156, 80, 162, 72, 162);
    flame.cubicTo(58, 162, 50, 150, 52, 136);
    flame.cubicTo(54, 122, 64, 118, 64, 104);
    flame.cubicTo(70, 112, 72, 100, 74, 88);
    QLinearGradient fg(0, 88, 0, 162);
    fg.setColorAt(0, QColor(180, 235, 255));
    fg.setColorAt(1, QColor(30, 120, 230));
    p.setPen(Qt::NoPen);
    p.setBrush(fg);
    p.drawPath(flame);
    // Highlight on the drop.
    p.setBrush(QColor(255, 255, 255, 110));
    p.drawEllipse(QRectF(36, 96, 14, 34));

    // The name, with a dark edge so it reads on navy and on light ground.
    QPainterPath name;
    name.addText(QPointF(0, 0), Font(74, true, true), "ZORVA");
    name = FitInto(name, QRectF(134, 52, 256, 66));
    p.setPen(QPen(QColor(90, 35, 0), 3));
    QLinearGradient ng(0, 60, 0, 120);
    ng.setColorAt(0, QColor(255, 176, 80));
    ng.setColorAt(1, QColor(255, 128, 0));
    p.setBrush(ng);
    p.drawPath(name);

    // Swoosh under the name.
    QPainterPath swoosh;
    swoosh.moveTo(134, 134);
    swoosh.cubicTo(220, 150, 320, 140, 392, 122);
    swoosh.cubicTo(320, 152, 220, 160, 134, 134);
    p.setPen(QPen(QColor(255, 128, 0), 2));
    p.setBrush(QColor(255, 128, 0));
    p.drawPath(swoosh);

    // "BASIC" in spaced capitals, light with a navy edge.
    QFont f = Font(26, true);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 9);
    QPainterPath basic;
    basic.addText(QPointF(142, 182), f, "BASIC");
    p.setPen(QPen(Navy, 1.5));
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

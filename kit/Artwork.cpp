#include "kit/Artwork.h"

#include <algorithm>

#include <QLinearGradient>
#include <QPainterPath>
#include <QPen>
#include <QRadialGradient>
#include <QTransform>

#include "widgets/Palette.h"

namespace Artwork {
namespace {

QFont Font(int pixelSize, bool bold, bool italic = false) {
    QFont f;
    f.setFamilies({QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixelSize);
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}

// Scales and moves a path so that its bounds fill `target`, keeping its shape.
QPainterPath FitInto(const QPainterPath& path, const QRectF& target) {
    const QRectF b = path.boundingRect();
    if (b.width() <= 0 || b.height() <= 0) return path;
    const double k = std::min(target.width() / b.width(), target.height() / b.height());
    QTransform t;
    t.translate(target.left(), target.top());
    t.scale(k, k);
    t.translate(-b.left(), -b.top());
    return t.map(path);
}

// Maps the design rectangle of a drawing onto `rect`.
void MapDesign(QPainter& p, const QRectF& rect, double width, double height) {
    p.translate(rect.topLeft());
    p.scale(rect.width() / width, rect.height() / height);
}

}  // namespace

void DrawLogo(QPainter& p, const QRectF& rect) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    MapDesign(p, rect, LogoWidth, LogoHeight);

    // A drop of liquid gas with a blue flame inside it.
    QPainterPath drop;
    drop.moveTo(44, 4);
    drop.cubicTo(56, 30, 76, 46, 76, 70);
    drop.cubicTo(76, 91, 62, 106, 44, 106);
    drop.cubicTo(26, 106, 12, 91, 12, 70);
    drop.cubicTo(12, 46, 32, 30, 44, 4);
    QLinearGradient dg(0, 4, 0, 106);
    dg.setColorAt(0, QColor(255, 190, 90));
    dg.setColorAt(0.55, Palette::Orange);
    dg.setColorAt(1, QColor(200, 80, 0));
    p.setPen(QPen(QColor(120, 50, 0), 2));
    p.setBrush(dg);
    p.drawPath(drop);

    QPainterPath flame;
    flame.moveTo(45, 46);
    flame.cubicTo(49, 60, 61, 66, 58, 82);
    flame.cubicTo(56, 93, 50, 97, 44, 97);
    flame.cubicTo(35, 97, 29, 89, 31, 79);
    flame.cubicTo(32, 70, 39, 67, 39, 57);
    flame.cubicTo(42, 63, 44, 54, 45, 46);
    QLinearGradient fg(0, 46, 0, 97);
    fg.setColorAt(0, QColor(180, 235, 255));
    fg.setColorAt(1, QColor(30, 120, 230));
    p.setPen(Qt::NoPen);
    p.setBrush(fg);
    p.drawPath(flame);
    p.setBrush(QColor(255, 255, 255, 110));
    p.drawEllipse(QRectF(20, 56, 8, 22));

    // The name, with a dark edge so it reads on navy and on light ground.
    QPainterPath name;
    name.addText(QPointF(0, 0), Font(74, true, true), QStringLiteral("ZORVA"));
    name = FitInto(name, QRectF(88, 8, 330, 60));
    p.setPen(QPen(QColor(90, 35, 0), 1.5));
    QLinearGradient ng(0, 8, 0, 68);
    ng.setColorAt(0, QColor(255, 176, 80));
    ng.setColorAt(1, Palette::Orange);
    p.setBrush(ng);
    p.drawPath(name);

    // Swoosh under the name.
    QPainterPath swoosh;
    swoosh.moveTo(90, 78);
    swoosh.cubicTo(190, 88, 320, 82, 418, 68);
    swoosh.cubicTo(320, 90, 190, 96, 90, 78);
    p.setPen(QPen(Palette::Orange, 1.5));
    p.setBrush(Palette::Orange);
    p.drawPath(swoosh);

    // "BASIC" in spaced capitals, light with a navy edge.
    QFont f = Font(19, true);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 8);
    QPainterPath basic;
    basic.addText(QPointF(96, 106), f, QStringLiteral("BASIC"));
    p.setPen(QPen(QColor(11, 31, 75), 1));
    p.setBrush(QColor(235, 238, 245));
    p.drawPath(basic);
    p.restore();
}

void DrawConsole(QPainter& p, const QRectF& rect, bool lit) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing);
    MapDesign(p, rect, ConsoleWidth, ConsoleHeight);

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

    // Letters G (gas) and B (petrol), their lamps below them. As outlines,
    // so that they scale with the drawing like everything else.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(230, 232, 236));
    for (auto [letter, box] : {std::pair{QStringLiteral("G"), QRectF(0, 12, 80, 78)},
                               std::pair{QStringLiteral("B"), QRectF(420, 12, 80, 78)}}) {
        QPainterPath glyph;
        glyph.addText(QPointF(0, 0), Font(58, true), letter);
        const QRectF b = glyph.boundingRect();
        p.drawPath(glyph.translated(box.center() - b.center()));
    }

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
    seat(QPointF(40, 120), 20, Palette::Green, QColor(0, 64, 0), lit);
    seat(QPointF(460, 120), 20, Palette::Red, Palette::DarkRed, false);

    // Level wedge under the level lamps: thin at the reserve end, thick at
    // the full end.
    QPolygonF wedge;
    wedge << QPointF(80, 104) << QPointF(412, 104) << QPointF(412, 72);
    QLinearGradient wg(80, 0, 412, 0);
    wg.setColorAt(0, Palette::LightOrange);
    wg.setColorAt(1, Palette::Orange);
    p.setPen(QPen(QColor(20, 20, 20), 2));
    p.setBrush(wg);
    p.drawPolygon(wedge);
    for (int i = 0; i < 6; ++i) {
        const QPointF c(96 + 56 * i, 50);
        if (i == 0) seat(c, 14, Palette::Red, Palette::DarkRed, false);
        else seat(c, 14, Palette::Green, QColor(0, 64, 0), lit && i <= 3);
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

}  // namespace Artwork

cArtwork::cArtwork(tDraw draw, QWidget* parent) : QWidget(parent), Draw(std::move(draw)) {
    // Mouse moves pass on to the screen, which counts this as background.
    setMouseTracking(true);
}

void cArtwork::paintEvent(QPaintEvent*) {
    const qreal dpr = devicePixelRatioF();
    const QSize pixels = size() * dpr;
    if (pixels.isEmpty()) return;
    if (Cache.size() != pixels || Cache.devicePixelRatio() != dpr) {
        Cache = QPixmap(pixels);
        Cache.setDevicePixelRatio(dpr);
        Cache.fill(Qt::transparent);
        QPainter cp(&Cache);
        Draw(cp, QRectF(QPointF(0, 0), QSizeF(size())));
        ++DrawCount;
    }
    QPainter p(this);
    p.drawPixmap(0, 0, Cache);
}

// The programs' icons: the program's drawn from the logo's drop, the capture
// viewer's a plot card with two traces. PNG at any size and SVG for the
// scalable icon theme folder.
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPen>
#include <QTransform>

#include "Draw.h"

namespace draw {
namespace {

// The icons' square design box, and where the drop sits in it.
constexpr double kBox = 112;
const QTransform kDropPlace = QTransform::fromTranslate(12, 1);

// A trace through the points, as a filled outline of the given width.
QPainterPath Trace(std::initializer_list<QPointF> points, double width) {
    QPainterPath line;
    for (const QPointF& pt : points) {
        if (line.elementCount() == 0) line.moveTo(pt);
        else line.lineTo(pt);
    }
    QPainterPathStroker stroker;
    stroker.setWidth(width);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    return stroker.createStroke(line).simplified();
}

std::vector<sShape> ViewerShapes() {
    std::vector<sShape> shapes(5);
    sShape& card = shapes[0];
    card.Path.addRoundedRect(QRectF(6, 12, 100, 88), 10, 10);
    card.GradientTop = 12;
    card.GradientBottom = 100;
    card.Stops = {{0, QColor(255, 255, 255)}, {1, QColor(214, 222, 236)}};
    card.Edge = QColor(30, 40, 90);
    card.EdgeWidth = 2.5;

    sShape& axes = shapes[1];
    axes.Path.addRect(QRectF(18, 24, 2.5, 64));
    axes.Path.addRect(QRectF(18, 85.5, 78, 2.5));
    axes.Path = axes.Path.simplified();
    axes.Stops = {{0, QColor(30, 40, 90)}};

    sShape& grid = shapes[2];
    for (double y : {40.0, 56.0, 72.0}) grid.Path.addRect(QRectF(21, y, 75, 1));
    grid.Stops = {{0, QColor(30, 40, 90, 70)}};

    sShape& speed = shapes[3];
    speed.Path = Trace({{24, 70}, {36, 50}, {48, 60}, {60, 33}, {72, 46}, {84, 28}, {94, 38}}, 6);
    speed.GradientTop = 24;
    speed.GradientBottom = 76;
    speed.Stops = {{0, QColor(255, 160, 40)}, {1, QColor(200, 80, 0)}};

    sShape& valve = shapes[4];
    valve.Path = Trace({{24, 80}, {38, 74}, {50, 78}, {64, 64}, {78, 71}, {94, 60}}, 4);
    valve.Stops = {{0, QColor(30, 120, 230)}};
    return shapes;
}

QString Num(double v) { return QString::number(v, 'g', 6); }

QString Colour(const QColor& c) { return c.name(QColor::HexRgb); }

QString PathData(const QPainterPath& path) {
    QString d;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        switch (e.type) {
        case QPainterPath::MoveToElement: d += QStringLiteral("M%1 %2 ").arg(Num(e.x), Num(e.y)); break;
        case QPainterPath::LineToElement: d += QStringLiteral("L%1 %2 ").arg(Num(e.x), Num(e.y)); break;
        case QPainterPath::CurveToElement: {
            const QPainterPath::Element c2 = path.elementAt(i + 1), to = path.elementAt(i + 2);
            d += QStringLiteral("C%1 %2 %3 %4 %5 %6 ")
                     .arg(Num(e.x), Num(e.y), Num(c2.x), Num(c2.y), Num(to.x), Num(to.y));
            i += 2;
            break;
        }
        case QPainterPath::CurveToDataElement: break;
        }
    }
    return d.trimmed() + QStringLiteral(" Z");
}

}  // namespace

void PaintShapes(QPainter& p, const std::vector<sShape>& shapes) {
    for (const sShape& s : shapes) {
        if (s.Edge.isValid()) p.setPen(QPen(s.Edge, s.EdgeWidth));
        else p.setPen(Qt::NoPen);
        if (s.Stops.size() == 1) {
            p.setBrush(s.Stops.front().second);
        } else {
            QLinearGradient g(0, s.GradientTop, 0, s.GradientBottom);
            g.setStops(s.Stops);
            p.setBrush(g);
        }
        p.drawPath(s.Path);
    }
}

std::vector<sShape> DropShapes() {
    std::vector<sShape> shapes(3);
    sShape& drop = shapes[0];
    drop.Path.moveTo(44, 4);
    drop.Path.cubicTo(56, 30, 76, 46, 76, 70);
    drop.Path.cubicTo(76, 91, 62, 106, 44, 106);
    drop.Path.cubicTo(26, 106, 12, 91, 12, 70);
    drop.Path.cubicTo(12, 46, 32, 30, 44, 4);
    drop.GradientTop = 4;
    drop.GradientBottom = 106;
    drop.Stops = {{0, QColor(255, 190, 90)}, {0.55, QColor(255, 128, 0)}, {1, QColor(200, 80, 0)}};
    drop.Edge = QColor(120, 50, 0);
    drop.EdgeWidth = 2;

    sShape& flame = shapes[1];
    flame.Path.moveTo(45, 46);
    flame.Path.cubicTo(49, 60, 61, 66, 58, 82);
    flame.Path.cubicTo(56, 93, 50, 97, 44, 97);
    flame.Path.cubicTo(35, 97, 29, 89, 31, 79);
    flame.Path.cubicTo(32, 70, 39, 67, 39, 57);
    flame.Path.cubicTo(42, 63, 44, 54, 45, 46);
    flame.GradientTop = 46;
    flame.GradientBottom = 97;
    flame.Stops = {{0, QColor(180, 235, 255)}, {1, QColor(30, 120, 230)}};

    sShape& shine = shapes[2];
    shine.Path.addEllipse(QRectF(20, 56, 8, 22));
    shine.Stops = {{0, QColor(255, 255, 255, 110)}};
    return shapes;
}

namespace {
std::vector<sShape> Shapes(eIcon icon) { return icon == eIcon::Viewer ? ViewerShapes() : DropShapes(); }
QTransform Place(eIcon icon) { return icon == eIcon::Viewer ? QTransform() : kDropPlace; }
}  // namespace

QImage IconPicture(int size, eIcon icon) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / kBox, size / kBox);
    p.setTransform(Place(icon), true);
    PaintShapes(p, Shapes(icon));
    return image;
}

QByteArray IconSvg(eIcon icon) {
    const std::vector<sShape> shapes = Shapes(icon);
    const QTransform place = Place(icon);
    QString defs, body;
    for (size_t i = 0; i < shapes.size(); ++i) {
        const sShape& s = shapes[i];
        QString fill;
        if (s.Stops.size() == 1) {
            const QColor c = s.Stops.front().second;
            fill = QStringLiteral("fill=\"%1\"").arg(Colour(c));
            if (c.alpha() != 255) fill += QStringLiteral(" fill-opacity=\"%1\"").arg(Num(c.alphaF()));
        } else {
            const QString id = QStringLiteral("g%1").arg(i);
            defs += QStringLiteral(
                        "    <linearGradient id=\"%1\" gradientUnits=\"userSpaceOnUse\" x1=\"0\" y1=\"%2\" "
                        "x2=\"0\" y2=\"%3\">\n")
                        .arg(id, Num(s.GradientTop), Num(s.GradientBottom));
            for (const auto& stop : s.Stops)
                defs += QStringLiteral("      <stop offset=\"%1\" stop-color=\"%2\"/>\n")
                            .arg(Num(stop.first), Colour(stop.second));
            defs += QStringLiteral("    </linearGradient>\n");
            fill = QStringLiteral("fill=\"url(#%1)\"").arg(id);
        }
        if (s.Path.fillRule() == Qt::OddEvenFill) fill += QStringLiteral(" fill-rule=\"evenodd\"");
        QString edge = QStringLiteral("stroke=\"none\"");
        if (s.Edge.isValid())
            edge = QStringLiteral("stroke=\"%1\" stroke-width=\"%2\"").arg(Colour(s.Edge), Num(s.EdgeWidth));
        body += QStringLiteral("    <path %1 %2 d=\"%3\"/>\n").arg(fill, edge, PathData(s.Path));
    }
    const QString svg =
        QStringLiteral(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
            "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"128\" height=\"128\" "
            "viewBox=\"0 0 %1 %1\">\n"
            "  <title>%6</title>\n"
            "  <defs>\n%2  </defs>\n"
            "  <g transform=\"translate(%3 %4)\">\n%5  </g>\n"
            "</svg>\n")
            .arg(Num(kBox), defs, Num(place.dx()), Num(place.dy()), body,
                 icon == eIcon::Viewer ? QStringLiteral("ZVBasic capture viewer") : QStringLiteral("ZVBasic"));
    return svg.toUtf8();
}

}  // namespace draw

// Drawing helpers of the picture generator: text, wires with their
// insulation colours. The switch console in the diagram is the program's own
// drawing (kit/Artwork.h).
#pragma once

#include <vector>

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRectF>
#include <QString>

namespace draw {

inline const QColor Navy(11, 31, 75);
inline const QColor Orange(255, 128, 0);
inline const QColor Ink(25, 25, 30);

// A wire insulation colour: one base colour, optionally with a stripe.
struct sWireColour {
    QColor Base;
    QColor Stripe;  // invalid when the wire has one colour
    QString Name;
};

QFont Font(int pixelSize, bool bold = false, bool italic = false);

void Text(QPainter& p, const QRectF& rect, int flags, const QString& text, int pixelSize, bool bold = false,
          const QColor& colour = Ink);

// A wire along a polyline: dark outline, base colour, dashed stripe.
void Wire(QPainter& p, const QPolygonF& path, const sWireColour& colour, double width = 8);

// Chassis-ground symbol hanging below `top`.
void Ground(QPainter& p, QPointF top);

// Junction dot where a wire branches.
void Junction(QPainter& p, QPointF at);

// One filled outline of a picture that is also written as SVG: the path,
// a vertical gradient (or one colour when it has a single stop) and an
// optional edge.
struct sShape {
    QPainterPath Path;
    double GradientTop = 0, GradientBottom = 0;
    QGradientStops Stops;
    QColor Edge;  // invalid: no edge
    double EdgeWidth = 0;
};
void PaintShapes(QPainter& p, const std::vector<sShape>& shapes);
// The logo's drop with its flame, in the logo's coordinates (x 12..76,
// y 4..106).
std::vector<sShape> DropShapes();

QImage HelpPicture();  // 1563 x 2048 wiring diagram
// The icons, on a transparent square: the program's (the drop) and the
// capture viewer's (a plot).
enum class eIcon { Program, Viewer };
QImage IconPicture(int size, eIcon icon = eIcon::Program);
QByteArray IconSvg(eIcon icon = eIcon::Program);

}  // namespace draw

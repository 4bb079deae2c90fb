// Drawing helpers shared by the picture generator: text, wires with their
// insulation colours, and the switch console, which appears both in the
// wiring diagram and on its own for the visualisation screen.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
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

// The driver's switch console in `rect` (design size 500 x 170): letter G
// with the gas lamp, letter B with the petrol lamp, the level wedge with its
// six lamps between them and the console button in the middle. With
// `lit` the lamps are drawn lit (gas and three level lamps), for the diagram.
void Console(QPainter& p, const QRectF& rect, bool lit);

QImage HelpPicture();     // 1563 x 2048 wiring diagram
QImage LogoPicture();     // 848 x 224 (424 x 112 at twice the size), transparent
QImage ConsolePicture();  // 500 x 170, transparent

}  // namespace draw

// Drawing helpers of the picture generator: text, wires with their
// insulation colours. The switch console in the diagram is the program's own
// drawing (app/Artwork.h).
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

QImage HelpPicture();  // 1563 x 2048 wiring diagram

}  // namespace draw

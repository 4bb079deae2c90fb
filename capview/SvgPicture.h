#pragma once
// SVG drawings of the plot, where the build has Qt Svg (the Windows build is
// made without it: there the viewer writes PNG pictures only).

#include <functional>

#include <QSize>
#include <QString>

class QIODevice;
class QPainter;

namespace SvgPicture {

// Whether this build can write SVG drawings.
bool Available();

// Paints `paint` as an SVG drawing of `size` into `device`; false when the
// build has no SVG writer.
bool Write(QIODevice& device, QSize size, const QString& title, const std::function<void(QPainter&)>& paint);

}  // namespace SvgPicture

#include <QPainter>
#include <QRect>
#include <QSvgGenerator>

#include "capview/SvgPicture.h"

namespace SvgPicture {

bool Available() { return true; }

bool Write(QIODevice& device, QSize size, const QString& title, const std::function<void(QPainter&)>& paint) {
    QSvgGenerator svg;
    svg.setOutputDevice(&device);
    svg.setSize(size);
    svg.setViewBox(QRect(QPoint(0, 0), size));
    if (!title.isEmpty()) svg.setTitle(title);
    QPainter p(&svg);
    paint(p);
    return p.end();
}

}  // namespace SvgPicture

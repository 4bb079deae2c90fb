#include "capview/SvgPicture.h"

namespace SvgPicture {

bool Available() { return false; }

bool Write(QIODevice&, QSize, const QString&, const std::function<void(QPainter&)>&) { return false; }

}  // namespace SvgPicture

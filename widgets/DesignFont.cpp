#include "widgets/DesignFont.h"

#include <QStringList>

QFont DesignFont(int pixelSize, bool bold) {
    QFont f;
    // Arial where it exists; fontconfig's metric twin or DejaVu Sans otherwise.
    f.setFamilies({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    f.setStyleHint(QFont::SansSerif);
    f.setPixelSize(pixelSize > 0 ? pixelSize : 1);
    f.setBold(bold);
    return f;
}

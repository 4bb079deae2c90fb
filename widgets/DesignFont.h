// The design font of the screens.
#pragma once

#include <QFont>

// Bold or normal Arial (a sans-serif font where Arial is missing) with the
// given pixel size.
QFont DesignFont(int pixelSize, bool bold);

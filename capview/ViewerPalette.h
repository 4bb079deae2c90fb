// The viewer's own colours, beside the screens' palette (widgets/Palette.h)
// that it paints with otherwise: the navy ground, orange captions and cursor,
// the yellow values and the trace colours come from there.
#pragma once

#include <QColor>

#include "widgets/Palette.h"

namespace ViewerPalette {
inline constexpr QColor Grid{45, 45, 70};      // grid lines inside a plot
inline constexpr QColor Frame{170, 170, 170};  // the frame around a trace
inline constexpr QColor Heading{255, 220, 0};  // the chart heading and points of the first capture
inline constexpr QColor Second{0, 200, 255};   // everything of the second capture
inline constexpr QColor Marker{255, 80, 200};  // markers set by the fitter
inline constexpr QColor Gap{255, 120, 60};     // where the ECU was away during the capture

// A palette colour seen through: alpha 0 (clear) to 255 (solid).
inline QColor Translucent(QColor c, int alpha) {
    c.setAlpha(alpha);
    return c;
}
}  // namespace ViewerPalette

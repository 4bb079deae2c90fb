// The colours of the screens, by role, so that every screen paints the same
// yellow texts, navy panels and red warnings.
#pragma once

#include <QColor>

namespace Palette {
inline constexpr QColor Black{0, 0, 0};
inline constexpr QColor White{255, 255, 255};
inline constexpr QColor Yellow{255, 255, 0};        // texts and values on dark ground
inline constexpr QColor Orange{255, 128, 0};        // captions, hover
inline constexpr QColor LightOrange{255, 160, 66};  // screen titles
inline constexpr QColor Red{255, 0, 0};             // warnings, lamps
inline constexpr QColor DarkRed{128, 0, 0};         // highlighted list item, pressed button
inline constexpr QColor Green{0, 255, 0};           // lit lamps, good values
inline constexpr QColor LightGrey{200, 200, 200};   // frames, scale marks
inline constexpr QColor PanelNavy{0, 0, 96};        // panels on the screens
inline constexpr QColor Navy{0, 0, 128};            // screen ground
}  // namespace Palette

// The program's drawn pictures, the logo and the driver's switch console, as
// drawings rather than bitmaps: they are painted at whatever size a screen
// gives them and at the screen's device pixel ratio, so that they stay sharp
// on large and dense screens. The picture generator (tools/pictures) draws
// the console into the wiring diagram with the same code.
#pragma once

#include <functional>

#include <QPainter>
#include <QPixmap>
#include <QRectF>
#include <QWidget>

namespace Artwork {

// Design sizes of the two drawings; a drawing fills any rectangle given to it.
inline constexpr double LogoWidth = 424, LogoHeight = 112;
inline constexpr double ConsoleWidth = 500, ConsoleHeight = 170;

// The logo: a drop of liquid gas with a flame, "ZORVA" and "BASIC".
void DrawLogo(QPainter& p, const QRectF& rect);

// The switch console: letter G with the gas lamp, letter B with the petrol
// lamp, the level wedge with its six lamp seats and the console button's
// seat. In design pixels the level lamps sit at x 96 + 56 i, y 50 (28
// across), the gas lamp at (40, 120), the petrol lamp at (460, 120) (40
// across) and the button at (250, 133). With `lit` the gas lamp and three
// level lamps are drawn lit.
void DrawConsole(QPainter& p, const QRectF& rect, bool lit);

}  // namespace Artwork

// A control that shows one of the drawings at its own size. The drawing is
// kept in a pixmap of the control's size in device pixels and drawn again
// only when that size changes.
class cArtwork : public QWidget {
public:
    using tDraw = std::function<void(QPainter&, const QRectF&)>;
    cArtwork(tDraw draw, QWidget* parent);
    // How often the drawing was made (tests).
    int Drawn() const { return DrawCount; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    tDraw Draw;
    QPixmap Cache;
    int DrawCount = 0;
};

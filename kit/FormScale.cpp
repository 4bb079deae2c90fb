#include "kit/FormScale.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

#include "widgets/DesignFont.h"

namespace {
std::optional<QSize> OverrideSize;
double OverrideDpi = 96;

int Round(double v) { return int(std::lround(v)); }

// Design sizes are points at 96 pixels per inch.
int FontPixels(int fontPt, double ratio) { return Round(fontPt * 96.0 / 72.0 * ratio); }
}  // namespace

QRect cFormScale::ScreenRect() {
    if (OverrideSize) return QRect(QPoint(0, 0), *OverrideSize);
    if (QScreen* s = QGuiApplication::primaryScreen()) return s->geometry();
    return QRect(0, 0, 1024, 768);
}

double cFormScale::ScreenDpi() {
    if (OverrideSize) return OverrideDpi;
    if (QScreen* s = QGuiApplication::primaryScreen()) return s->logicalDotsPerInchX();
    return 96;
}

void cFormScale::SetScreenOverride(QSize size, double dpi) {
    OverrideSize = size;
    OverrideDpi = dpi > 0 ? dpi : 96;
}

void cFormScale::ClearScreenOverride() { OverrideSize.reset(); }

double cFormScale::FitRatio(QSize screen, double dpi) {
    if (dpi <= 0) dpi = 96;
    if (screen.width() <= 0 || screen.height() <= 0) screen = QSize(1024, 768);
    const double byWidth = (screen.width() * 96.0) / (dpi * 1024.0);
    const double byHeight = (screen.height() * 96.0) / (dpi * 768.0);
    return std::min(byWidth, byHeight);
}

QPoint cFormScale::FitOrigin(QSize screen, double ratio) {
    // Whole pixels towards the top-left: on a 4:3 screen both margins are 0.
    return QPoint(std::max(0, int((screen.width() - 1024 * ratio) / 2)),
                  std::max(0, int((screen.height() - 768 * ratio) / 2)));
}

double cFormScale::ScaleRatio() { return FitRatio(ScreenRect().size(), ScreenDpi()); }

QRect cFormScale::FitRect(const QRect& d, double ratio, QPoint origin) {
    return QRect(origin.x() + Round(d.x() * ratio), origin.y() + Round(d.y() * ratio), Round(d.width() * ratio),
                 Round(d.height() * ratio));
}

void cFormScale::SetFit(double ratio, QPoint origin) {
    RatioNow = ratio;
    OriginNow = origin;
}

int cFormScale::Scaled(int designPixels) const { return Round(designPixels * RatioNow); }

QRect cFormScale::ScaledRect(const QWidget* control, const QRect& d) const {
    return FitRect(d, RatioNow, control && control->parentWidget() == Form ? OriginNow : QPoint());
}

void cFormScale::Place(QWidget* w, const QRect& design, int fontPt, bool bold) {
    if (!w) return;  // also a deleted control's entry
    bool known = false;
    for (sPlaced& p : Placed)
        if (p.Widget == w) {
            p = {w, design, fontPt, bold};
            known = true;
        }
    if (!known) {
        std::erase_if(Placed, [](const sPlaced& p) { return p.Widget.isNull(); });
        Placed.push_back({w, design, fontPt, bold});
    }
    w->setGeometry(ScaledRect(w, design));
    if (fontPt > 0) w->setFont(DesignFont(FontPixels(fontPt, RatioNow), bold));
}

void cFormScale::PlaceAll() {
    // A copy: placing may add to the list (a control's resize handler
    // placing its own children).
    const std::vector<sPlaced> placed = Placed;
    for (const sPlaced& p : placed) Place(p.Widget, p.Design, p.FontPt, p.Bold);
}

void cFormScale::FitAll() {
    const std::vector<QPointer<QLabel>> fitted = Fitted;
    for (const QPointer<QLabel>& label : fitted) FitText(label);
}

void cFormScale::FitText(QLabel* label) {
    if (!label) return;
    if (std::find(Fitted.begin(), Fitted.end(), label) == Fitted.end()) {
        std::erase_if(Fitted, [](const QPointer<QLabel>& l) { return l.isNull(); });
        Fitted.emplace_back(label);
    }
    for (const sPlaced& p : Placed) {
        if (p.Widget != label || p.FontPt <= 0) continue;
        QFont f = DesignFont(FontPixels(p.FontPt, RatioNow), p.Bold);
        const QStringList lines = label->text().split(QLatin1Char('\n'));
        const QRect room = label->contentsRect();
        while (f.pixelSize() > 6) {
            const QFontMetricsF fm(f);
            bool fits = true;
            if (label->wordWrap()) {
                // A wrapped text must fit the label's height as wrapped.
                const QRectF used = fm.boundingRect(QRectF(0, 0, room.width(), 1e6),
                                                    int(Qt::TextWordWrap | label->alignment()), label->text());
                fits = used.height() <= room.height() && used.width() <= room.width();
            } else {
                double widest = 0;
                for (const QString& line : lines) widest = std::max(widest, fm.horizontalAdvance(line));
                fits = widest <= room.width();
            }
            if (fits) break;
            f.setPixelSize(f.pixelSize() - 1);
        }
        label->setFont(f);
        return;
    }
}

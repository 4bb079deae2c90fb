#include "widgets/VerticalLabel.h"

#include <QPainter>

#include "widgets/Palette.h"

cVerticalLabel::cVerticalLabel(QWidget* parent) : QWidget(parent) { setMouseTracking(true); }

void cVerticalLabel::SetText(const QString& text) {
    if (text == TextValue) return;
    TextValue = text;
    update();
}

QFont cVerticalLabel::PaintFont() const {
    QFont f = font();
    if (TextValue.isEmpty() || f.pixelSize() <= 0) return f;
    // Room for the shadow at the end of the line.
    const double room = height() - 4, thickness = width();
    while (f.pixelSize() > 6) {
        const QFontMetricsF fm(f);
        if (fm.horizontalAdvance(TextValue) + f.pixelSize() / 12.0 <= room && fm.height() <= thickness) break;
        f.setPixelSize(f.pixelSize() - 1);
    }
    return f;
}

void cVerticalLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QFont f = PaintFont();
    p.setFont(f);
    p.translate(0, height());
    p.rotate(-90);
    // Rotated: the text runs along the widget's height.
    const QRectF box(0, 0, height(), width());
    const int shadow = std::max(2, f.pixelSize() > 0 ? f.pixelSize() / 12 : f.pointSize() / 9);
    p.setPen(Palette::Black);
    p.drawText(box.translated(shadow, shadow), Qt::AlignCenter, TextValue);
    p.setPen(Palette::LightOrange);
    p.drawText(box, Qt::AlignCenter, TextValue);
}

#include "widgets/VerticalLabel.h"
#include "widgets/Palette.h"

#include <QPainter>

cVerticalLabel::cVerticalLabel(QWidget* parent) : QWidget(parent) { setMouseTracking(true); }

void cVerticalLabel::SetText(const QString& text) {
    if (text == TextValue) return;
    TextValue = text;
    update();
}

void cVerticalLabel::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.setFont(font());
    p.translate(0, height());
    p.rotate(-90);
    // Rotated: the text runs along the widget's height.
    const QRectF box(0, 0, height(), width());
    const int shadow = std::max(2, font().pixelSize() > 0 ? font().pixelSize() / 12 : font().pointSize() / 9);
    p.setPen(Palette::Black);
    p.drawText(box.translated(shadow, shadow), Qt::AlignCenter, TextValue);
    p.setPen(Palette::LightOrange);
    p.drawText(box, Qt::AlignCenter, TextValue);
}

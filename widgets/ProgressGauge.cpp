#include "widgets/ProgressGauge.h"

#include <QPainter>

#include "widgets/Palette.h"

cProgressGauge::cProgressGauge(QWidget* parent) : QWidget(parent) {}

void cProgressGauge::SetValue(int percent) {
    percent = percent < 0 ? 0 : percent > 100 ? 100 : percent;
    if (percent == Percent) return;
    Percent = percent;
    update();
}

void cProgressGauge::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QRect r = rect();
    p.fillRect(r, Palette::PanelNavy);
    QRect bar = r;
    bar.setWidth(r.width() * Percent / 100);
    p.fillRect(bar, Palette::Yellow);
    p.setPen(QPen(Palette::Orange, 2));
    p.drawRect(r.adjusted(1, 1, -1, -1));
    // The figure in the middle, readable on both colours.
    QString text = QString::number(Percent) + QLatin1Char('%');
    p.setPen(Percent >= 50 ? Palette::PanelNavy : Palette::Yellow);
    p.drawText(r, Qt::AlignCenter, text);
}

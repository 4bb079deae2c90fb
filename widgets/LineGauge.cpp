#include "widgets/LineGauge.h"

#include <algorithm>
#include <cmath>

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>

#include "widgets/PaintProbe.h"
#include "widgets/Palette.h"

cLineGauge::cLineGauge(Qt::Orientation orientation, QWidget* parent) : QWidget(parent), Orient(orientation) {
    setAttribute(Qt::WA_OpaquePaintEvent, false);
}

template <class T>
void cLineGauge::Change(T& field, const T& value) {
    if (field == value) return;
    field = value;
    Scale = QPixmap();  // the scale picture is drawn again
    ++Requests;
    PaintProbe::Requested(this);
    update();
}

void cLineGauge::SetStyle(eStyle style) { Change(Style, style); }

void cLineGauge::SetScale(double min, double max, double step, double smallStep) {
    Change(Min, min);
    Change(Max, max);
    Change(Step, step);
    Change(SmallStep, smallStep);
}

void cLineGauge::SetScaleMin(double min) { Change(Min, min); }
void cLineGauge::SetRegion1Start(double v) { Change(R1, v); }
void cLineGauge::SetRegion2Start(double v) { Change(R2, v); }
void cLineGauge::SetRegion3Start(double v) { Change(R3, v); }

void cLineGauge::SetRegionColors(const QColor& c1, const QColor& c2, const QColor& c3) {
    Change(Colors, std::array<QColor, 3>{c1, c2, c3});
}

void cLineGauge::SetLabelFormat(const QString& format) { Change(Format, format); }

void cLineGauge::SetCaptions(const QString& title, const QString& minText, const QString& maxText) {
    Change(Title, title);
    Change(MinText, minText);
    Change(MaxText, maxText);
}

void cLineGauge::SetValue(double value) {
    if (value == Val) return;
    Val = value;
    ++Requests;
    PaintProbe::Requested(this);
    update();
}

double cLineGauge::Fraction(double v, double min, double max) {
    if (!(max > min)) return 0.0;
    return std::clamp((v - min) / (max - min), 0.0, 1.0);
}

std::vector<double> cLineGauge::Ticks(double min, double max, double step) {
    std::vector<double> out;
    if (!(max >= min)) return out;
    if (!(step > 0)) return {min, max};
    for (int i = 0; i <= 1000; ++i) {
        double v = min + step * i;
        if (v > max + step * 1e-9) break;
        out.push_back(v);
    }
    return out;
}

QString cLineGauge::LabelText(const QString& format, double value) {
    QString number = QString::number(value, 'g', 10);
    QString out;
    for (int i = 0; i < format.size(); ++i) {
        if (format[i] == u'%' && i + 1 < format.size()) {
            QChar next = format[i + 1];
            if (next == u's') {
                out += number;
                ++i;
                continue;
            }
            if (next == u'%') {
                out += u'%';
                ++i;
                continue;
            }
        }
        out += format[i];
    }
    return out;
}

std::array<cLineGauge::sSpan, 3> cLineGauge::RegionSpans(double min, double max, double r1, double r2, double r3) {
    if (!(max >= min)) max = min;
    auto hold = [&](double v) { return std::clamp(v, min, max); };
    double a = hold(r1);
    double b = std::max(a, hold(r2));
    double c = std::max(b, hold(r3));
    return {sSpan{a, b}, sSpan{b, c}, sSpan{c, max}};
}

QRectF cLineGauge::TrackRect() const {
    const QFontMetrics fm(font());
    double labelWidth = 0;
    for (double t : Ticks(Min, Max, Step))
        labelWidth = std::max<double>(labelWidth, fm.horizontalAdvance(LabelText(Format, t)));
    if (Orient == Qt::Vertical) {
        double margin = fm.height() / 2.0 + 2;
        double trackW = std::max(10.0, width() * 0.28);
        return QRectF(labelWidth + 10, margin, trackW, height() - 2 * margin);
    }
    double top = Title.isEmpty() ? 2 : fm.height() + 4;
    double bottomSpace = fm.height() * (MinText.isEmpty() && MaxText.isEmpty() ? 1 : 2) + 10;
    double side = labelWidth / 2 + 4;
    return QRectF(side, top, width() - 2 * side, std::max(8.0, height() - top - bottomSpace));
}

double cLineGauge::PosOf(const QRectF& track, double v) const {
    double f = Fraction(v, Min, Max);
    return Orient == Qt::Vertical ? track.bottom() - f * track.height() : track.left() + f * track.width();
}

QRectF cLineGauge::PartOf(const QRectF& track, double from, double to) const {
    double a = PosOf(track, from), b = PosOf(track, to);
    return Orient == Qt::Vertical ? QRectF(track.left(), std::min(a, b), track.width(), std::abs(a - b))
                                  : QRectF(std::min(a, b), track.top(), std::abs(a - b), track.height());
}

// Everything but the value: drawn once into a picture until a scale, region,
// caption, size or font changes.
void cLineGauge::DrawScale(QPainter& p, const QRectF& track) const {
    p.setRenderHint(QPainter::Antialiasing);
    const QFontMetrics fm(font());
    p.setFont(font());
    const bool vertical = Orient == Qt::Vertical;
    const auto spans = RegionSpans(Min, Max, R1, R2, R3);
    const auto ticks = Ticks(Min, Max, Step);
    double labelWidth = 0;
    for (double t : ticks) labelWidth = std::max<double>(labelWidth, fm.horizontalAdvance(LabelText(Format, t)));

    p.fillRect(track, QColor(0, 0, 40));
    for (int i = 0; i < 3; ++i) {
        if (spans[i].To <= spans[i].From) continue;
        QColor c = Colors[i];
        if (Style == eStyle::Bar) c = c.darker(320);  // the bar shows them in full
        p.fillRect(PartOf(track, spans[i].From, spans[i].To), c);
    }
    p.setPen(QPen(QColor(160, 160, 160), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(track);

    p.setPen(QPen(Qt::white, 1));
    if (SmallStep > 0) {
        for (double t : Ticks(Min, Max, SmallStep)) {
            double q = PosOf(track, t);
            if (vertical) p.drawLine(QPointF(track.left() - 4, q), QPointF(track.left(), q));
            else p.drawLine(QPointF(q, track.bottom()), QPointF(q, track.bottom() + 4));
        }
    }
    for (double t : ticks) {
        double q = PosOf(track, t);
        QString label = LabelText(Format, t);
        if (vertical) {
            p.drawLine(QPointF(track.left() - 7, q), QPointF(track.left(), q));
            p.drawText(QRectF(0, q - fm.height() / 2.0, labelWidth + 2, fm.height()), Qt::AlignRight | Qt::AlignVCenter,
                       label);
        } else {
            p.drawLine(QPointF(q, track.bottom()), QPointF(q, track.bottom() + 7));
            double w = fm.horizontalAdvance(label) + 4;
            p.drawText(QRectF(q - w / 2, track.bottom() + 8, w, fm.height()), Qt::AlignCenter, label);
        }
    }
    if (!vertical) {
        double y = track.bottom() + 8 + fm.height();
        if (!Title.isEmpty()) p.drawText(QRectF(0, 0, width(), track.top()), Qt::AlignHCenter | Qt::AlignTop, Title);
        if (!MinText.isEmpty()) p.drawText(QRectF(0, y, width() / 2.0, fm.height()), Qt::AlignLeft, MinText);
        if (!MaxText.isEmpty())
            p.drawText(QRectF(width() / 2.0, y, width() / 2.0, fm.height()), Qt::AlignRight, MaxText);
    }
}

void cLineGauge::paintEvent(QPaintEvent*) {
    const QRectF track = TrackRect();
    const qreal dpr = devicePixelRatioF();
    const QSize pixels = size() * dpr;
    if (Scale.size() != pixels) {
        Scale = QPixmap(pixels);
        Scale.setDevicePixelRatio(dpr);
        Scale.fill(Qt::transparent);
        QPainter sp(&Scale);
        DrawScale(sp, track);
    }
    QPainter p(this);
    p.drawPixmap(0, 0, Scale);
    p.setRenderHint(QPainter::Antialiasing);
    const bool vertical = Orient == Qt::Vertical;

    if (Style == eStyle::Bar) {
        // The bar shows the regions it covers in their full colours.
        const auto spans = RegionSpans(Min, Max, R1, R2, R3);
        double v = std::clamp(Val, std::min(Min, Max), std::max(Min, Max));
        QRectF inner = PartOf(track, Min, v);
        bool covered = false;
        for (int i = 0; i < 3; ++i) {
            double to = std::min(spans[i].To, v);
            if (to <= spans[i].From) continue;
            covered = true;
            p.fillRect(PartOf(track, spans[i].From, to).intersected(inner), Colors[i]);
        }
        if (v > Min && !covered) p.fillRect(inner, Palette::LightGrey);
        p.setPen(QPen(QColor(160, 160, 160), 1));
        p.setBrush(Qt::NoBrush);
        p.drawRect(track);
    } else {
        // A line across the track and a triangle beside it.
        double q = PosOf(track, Val);
        p.setPen(QPen(Qt::white, 2));
        QPainterPath tri;
        if (vertical) {
            p.drawLine(QPointF(track.left(), q), QPointF(track.right(), q));
            double x = track.right() + 2, s = std::clamp(width() - x - 2, 6.0, 14.0);
            tri.moveTo(x, q);
            tri.lineTo(x + s, q - s / 2);
            tri.lineTo(x + s, q + s / 2);
        } else {
            p.drawLine(QPointF(q, track.top()), QPointF(q, track.bottom()));
            double y = track.top() - 2, s = std::clamp(y, 6.0, 14.0);
            tri.moveTo(q, y);
            tri.lineTo(q - s / 2, y - s);
            tri.lineTo(q + s / 2, y - s);
        }
        tri.closeSubpath();
        p.fillPath(tri, Palette::White);
    }
    p.end();
    PaintProbe::Painted(this);
}

void cLineGauge::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) Scale = QPixmap();
    QWidget::changeEvent(event);
}

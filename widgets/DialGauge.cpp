#include "widgets/DialGauge.h"

#include <algorithm>
#include <cmath>

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <QtMath>

#include "widgets/PaintProbe.h"
#include "widgets/Palette.h"

cDialGauge::cDialGauge(QWidget* parent) : QWidget(parent) {}

void cDialGauge::Changed(bool face) {
    if (face) Face = QPixmap();
    ++Requests;
    PaintProbe::Requested(this);
    update();
}

void cDialGauge::SetScale(double min, double max, int labels) {
    if (min == Min && max == Max && labels == Labels) return;
    Min = min;
    Max = max;
    Labels = std::max(1, labels);
    Changed(true);
}

void cDialGauge::SetZones(int span1, int span2) {
    auto v = ValidSpans(span1, span2);
    if (v[0] == Span1 && v[1] == Span2) return;
    Span1 = v[0];
    Span2 = v[1];
    Changed(true);
}

void cDialGauge::SetZoneColors(const QColor& c1, const QColor& c2, const QColor& c3) {
    std::array<QColor, 3> c{c1, c2, c3};
    if (c == Colors) return;
    Colors = c;
    Changed(true);
}

void cDialGauge::SetCaption(const QString& caption) {
    if (caption == CaptionText) return;
    CaptionText = caption;
    Changed(true);
}

void cDialGauge::SetValue(double value) {
    if (value == Val) return;
    double before = Held(Val, Min, Max);
    Val = value;
    if (Held(Val, Min, Max) != before) Changed(false);  // beyond the end the needle stays put
}

double cDialGauge::Held(double v, double min, double max) {
    if (!(max > min)) return min;
    if (std::isnan(v)) return min;
    return std::clamp(v, min, max);
}

double cDialGauge::AngleOf(double v, double min, double max) {
    double f = max > min ? (Held(v, min, max) - min) / (max - min) : 0.0;
    return StartAngle - f * SweepAngle;
}

std::array<int, 2> cDialGauge::ValidSpans(int span1, int span2) {
    int a = std::clamp(span1, 0, 100);
    int b = std::clamp(span2, 0, 100 - a);
    return {a, b};
}

QStringList cDialGauge::CaptionLines(const QString& caption) { return caption.split(u'|'); }

// The face, zones, scale and caption change seldom: they are drawn once into
// a picture, and each repaint only puts the needle over it.
void cDialGauge::DrawFace(QPainter& p) const {
    p.setRenderHint(QPainter::Antialiasing);
    const double side = std::min(width(), height());
    const QPointF c(width() / 2.0, height() / 2.0);
    const double r = side / 2.0 - 2;

    QRadialGradient face(c, r);
    face.setColorAt(0, QColor(40, 40, 60));
    face.setColorAt(1, QColor(5, 5, 20));
    p.setPen(QPen(QColor(170, 170, 170), 2));
    p.setBrush(face);
    p.drawEllipse(c, r, r);

    // Zones along the rim.
    const double band = BandWidth(r);
    const double zr = r - band / 2 - 4;
    QRectF zoneRect(c.x() - zr, c.y() - zr, 2 * zr, 2 * zr);
    const int spans[3] = {Span1, Span2, 100 - Span1 - Span2};
    double at = 0;
    for (int i = 0; i < 3; ++i) {
        if (spans[i] <= 0) continue;
        double a0 = StartAngle - at / 100.0 * SweepAngle;
        double sweep = -spans[i] / 100.0 * SweepAngle;
        p.setPen(QPen(Colors[i], band, Qt::SolidLine, Qt::FlatCap));
        p.drawArc(zoneRect, int(a0 * 16), int(sweep * 16));
        at += spans[i];
    }

    // Ticks and labels.
    p.setFont(font());
    const QFontMetrics fm(font());
    p.setPen(QPen(Qt::white, 2));
    for (int i = 0; i <= Labels; ++i) {
        double v = Min + (Max - Min) * i / Labels;
        double a = qDegreesToRadians(AngleOf(v, Min, Max));
        QPointF dir(std::cos(a), -std::sin(a));
        p.drawLine(c + dir * (r - band - 6), c + dir * (r - 4));
        QPointF lp = c + dir * (r - band - 8 - fm.height() * 0.7);
        QString t = QString::number(v, 'g', 6);
        double w = fm.horizontalAdvance(t) + 2;
        p.drawText(QRectF(lp.x() - w / 2, lp.y() - fm.height() / 2.0, w, fm.height()), Qt::AlignCenter, t);
    }

    // Caption below the centre.
    const QStringList lines = CaptionLines(CaptionText);
    double y = c.y() + r * 0.28;
    p.setPen(Palette::LightOrange);
    for (const QString& line : lines) {
        p.drawText(QRectF(c.x() - r, y, 2 * r, fm.height()), Qt::AlignHCenter | Qt::AlignTop, line);
        y += fm.height();
    }
}

double cDialGauge::BandWidth(double r) { return std::max(4.0, r * 0.11); }

void cDialGauge::paintEvent(QPaintEvent*) {
    const qreal dpr = devicePixelRatioF();
    const QSize pixels = size() * dpr;
    if (Face.size() != pixels) {
        Face = QPixmap(pixels);
        Face.setDevicePixelRatio(dpr);
        Face.fill(Qt::transparent);
        QPainter fp(&Face);
        DrawFace(fp);
    }
    QPainter p(this);
    p.drawPixmap(0, 0, Face);
    p.setRenderHint(QPainter::Antialiasing);
    const double side = std::min(width(), height());
    const QPointF c(width() / 2.0, height() / 2.0);
    const double r = side / 2.0 - 2;
    const double band = BandWidth(r);

    // Needle.
    double a = qDegreesToRadians(AngleOf(Val, Min, Max));
    QPointF dir(std::cos(a), -std::sin(a));
    QPointF normal(-dir.y(), dir.x());
    double nw = std::max(2.0, r * 0.04);
    QPainterPath needle;
    needle.moveTo(c + normal * nw);
    needle.lineTo(c + dir * (r - band - 6));
    needle.lineTo(c - normal * nw);
    needle.closeSubpath();
    p.setPen(Qt::NoPen);
    p.fillPath(needle, QColor(255, 60, 0));
    p.setBrush(Palette::LightGrey);
    p.drawEllipse(c, nw * 1.8, nw * 1.8);
    p.end();
    PaintProbe::Painted(this);
}

void cDialGauge::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) Face = QPixmap();
    QWidget::changeEvent(event);
}

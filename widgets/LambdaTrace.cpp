#include "widgets/LambdaTrace.h"

#include <algorithm>
#include <cmath>

#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPolygonF>

#include "widgets/PaintProbe.h"
#include "widgets/Palette.h"

cTracePoints::cTracePoints() { Ys.fill(0.0); }

bool cTracePoints::Push(double y, double lo, double hi) {
    if (std::isnan(y)) y = lo;
    y = std::max(y, lo);  // raised to the minimum first, then lowered to the maximum
    y = std::min(y, hi);
    double last = Y(Count - 1);
    Ys[Head] = y;
    Head = (Head + 1) % Count;
    FirstX += 1;
    bool wasFlat = FlatRun >= Count;
    FlatRun = y == last ? std::min(FlatRun + 1, Count) : 1;
    return !(wasFlat && FlatRun >= Count);
}

cLambdaTrace::cLambdaTrace(QWidget* parent) : QWidget(parent) {
    // It paints every pixel of its rectangle itself.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void cLambdaTrace::SetAxis(double minimum, double maximum, double increment) {
    if (minimum == Lo && maximum == Hi && increment == Inc) return;
    Lo = minimum;
    Hi = maximum;
    Inc = increment;
    Axes = QPixmap();
    ++Requests;
    PaintProbe::Requested(this);
    update();
}

void cLambdaTrace::SetTitle(const QString& title) {
    if (title == Title) return;
    Title = title;
    Axes = QPixmap();
    ++Requests;
    PaintProbe::Requested(this);
    update();
}

void cLambdaTrace::AddPoint(double y) {
    if (Trace.Push(y, Lo, Hi)) {
        ++Requests;
        PaintProbe::Requested(this);
        update();
    }
}

QString cLambdaTrace::AxisLabel(double v, const QLocale& locale) {
    double r = std::round(v * 10.0) / 10.0;
    if (r == 0) r = 0;  // no "-0"
    QString number =
        std::fabs(r - std::round(r)) < 1e-9 ? locale.toString(qint64(std::llround(r))) : locale.toString(r, 'f', 1);
    return number + QStringLiteral(" V");
}

std::vector<double> cLambdaTrace::AxisLabels() const {
    std::vector<double> labels;
    if (Inc > 0 && Hi > Lo)
        for (int i = 0; i <= 200; ++i) {
            double v = Lo + Inc * i;
            if (v > Hi + Inc * 1e-6) break;
            labels.push_back(v);
        }
    return labels;
}

QRectF cLambdaTrace::PlotRect() const {
    const QFontMetrics fm(font());
    double labelWidth = 0;
    for (double v : AxisLabels()) labelWidth = std::max<double>(labelWidth, fm.horizontalAdvance(AxisLabel(v) + "  "));
    const double titleWidth = fm.height() + 4;
    return QRectF(titleWidth + labelWidth + 6, fm.height() / 2.0 + 2, width() - titleWidth - labelWidth - 12,
                  height() - fm.height() - 4);
}

// The background, grid, axis labels and title: drawn once into a picture
// until the axis, title, size or font changes.
void cLambdaTrace::DrawAxes(QPainter& p, const QRectF& plot) const {
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), Palette::Black);
    p.setFont(font());
    const QFontMetrics fm(font());
    const std::vector<double> labels = AxisLabels();
    const double titleWidth = fm.height() + 4;
    auto yOf = [&](double v) { return Hi > Lo ? plot.bottom() - (v - Lo) / (Hi - Lo) * plot.height() : plot.bottom(); };
    p.setPen(QPen(QColor(70, 70, 90), 1, Qt::DotLine));
    for (double v : labels) p.drawLine(QPointF(plot.left(), yOf(v)), QPointF(plot.right(), yOf(v)));
    p.setPen(QPen(QColor(170, 170, 170), 1));
    p.drawRect(plot);
    p.setPen(Qt::white);
    for (double v : labels) {
        double y = yOf(v);
        p.drawText(QRectF(titleWidth, y - fm.height() / 2.0, plot.left() - titleWidth - 6, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, AxisLabel(v) + "  ");
    }
    p.save();
    p.translate(fm.height() / 2.0 + 2, plot.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-plot.height() / 2, -fm.height() / 2.0, plot.height(), fm.height()), Qt::AlignCenter, Title);
    p.restore();
}

void cLambdaTrace::paintEvent(QPaintEvent*) {
    const QRectF plot = PlotRect();
    const qreal dpr = devicePixelRatioF();
    const QSize pixels = size() * dpr;
    if (Axes.size() != pixels) {
        Axes = QPixmap(pixels);
        Axes.setDevicePixelRatio(dpr);
        QPainter ap(&Axes);
        DrawAxes(ap, plot);
    }
    QPainter p(this);
    p.drawPixmap(0, 0, Axes);
    p.setRenderHint(QPainter::Antialiasing);
    auto yOf = [&](double v) { return Hi > Lo ? plot.bottom() - (v - Lo) / (Hi - Lo) * plot.height() : plot.bottom(); };

    // The line: the bottom axis runs from the last x minus 50 to the last x.
    QPolygonF line;
    line.reserve(cTracePoints::Count);
    const double span = Trace.AxisTo() - Trace.AxisFrom();
    for (int i = 0; i < cTracePoints::Count; ++i) {
        double x = plot.left() + (Trace.X(i) - Trace.AxisFrom()) / span * plot.width();
        line << QPointF(x, yOf(Trace.Y(i)));
    }
    p.setClipRect(plot.adjusted(-1, -1, 1, 1));
    p.setPen(QPen(Qt::white, 2));
    p.drawPolyline(line);
    p.end();
    PaintProbe::Painted(this);
}

void cLambdaTrace::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) Axes = QPixmap();
    QWidget::changeEvent(event);
}

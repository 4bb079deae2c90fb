#include "capview/PlotPainter.h"

#include <algorithm>
#include <cmath>

#include <QFileInfo>
#include <QFontMetricsF>
#include <QLineF>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>

#include "widgets/DesignFont.h"

#include "capview/ViewerPalette.h"
#include "capview/ViewerQt.h"

namespace Plot {

namespace {

constexpr double kLambdaLine = Capture::RichLambdaVolts;

const sTraceLook kLooks[Capture::TraceCount] = {
    {CvN_("Throttle"), CvN_("V"), Palette::Yellow, 0, 5, 2},
    {CvN_("Lambda"), CvN_("V"), Palette::White, 0, 1, 2},
    {CvN_("Engine speed"), CvN_("rpm"), Palette::Green, 0, 8000, 0},
    {CvN_("Valve position"), "", Palette::LightOrange, 0, 255, 0},
};

struct sPanel {
    const Capture::sLoadedCapture* Capture;
    const Capture::sLoadedCapture* Overlay;  // drawn over it in the second colour
    int Trace;
    bool SecondGroup;
};

std::vector<sPanel> Panels(const sScene& s) {
    std::vector<sPanel> panels;
    const bool stacked = s.Second && s.Compare == eCompare::Stacked;
    for (int t = 0; t < Capture::TraceCount; ++t)
        panels.push_back({s.Primary.get(), stacked ? nullptr : s.Second.get(), t, false});
    if (stacked)
        for (int t = 0; t < Capture::TraceCount; ++t) panels.push_back({s.Second.get(), nullptr, t, true});
    return panels;
}

double YOf(const QRectF& r, double v, double lo, double hi) {
    return hi > lo ? r.bottom() - (v - lo) / (hi - lo) * r.height() : r.bottom();
}

void DrawTrace(QPainter& p, const QRectF& r, const Capture::sLoadedCapture& c, int trace, const sView& v, double lo,
               double hi, const QColor& color) {
    const size_t n = c.Records();
    if (n == 0 || r.width() < 1 || v.Span <= 0) return;
    const double perPixel = v.Span / r.width();
    if (perPixel >= 1) {
        // One vertical stroke per pixel column from its minimum to its
        // maximum, stretched to meet its neighbour so the line stays whole.
        static thread_local std::vector<Capture::sColumn> cols;
        const int columns = int(std::ceil(r.width()));
        c.Pyramid[trace].Decimate(v.First, perPixel, columns, cols);
        static thread_local std::vector<QLineF> lines;
        lines.clear();
        bool prev = false;
        double pTop = 0, pBottom = 0;
        for (int i = 0; i < columns; ++i) {
            const Capture::sColumn& col = cols[size_t(i)];
            if (!col.Has) {
                prev = false;
                continue;
            }
            double top = std::round(YOf(r, col.Max, lo, hi)), bottom = std::round(YOf(r, col.Min, lo, hi));
            if (prev) {
                if (top > pBottom) top = pBottom;
                if (bottom < pTop) bottom = pTop;
            }
            pTop = std::round(YOf(r, col.Max, lo, hi));
            pBottom = std::round(YOf(r, col.Min, lo, hi));
            prev = true;
            const double x = std::floor(r.left()) + i + 0.5;
            lines.emplace_back(x, top, x, std::max(bottom, top + 1));
        }
        p.setRenderHint(QPainter::Antialiasing, false);
        p.setPen(QPen(color, 1, Qt::SolidLine, Qt::FlatCap));
        p.drawLines(lines.data(), int(lines.size()));
    } else {
        // Fewer records than pixels: a line through the records themselves.
        const double from = std::max(0.0, std::floor(v.First) - 1);
        const double to = std::min(double(n) - 1, std::ceil(v.First + v.Span) + 1);
        QPolygonF line;
        for (double i = from; i <= to; i += 1) {
            const double x = r.left() + (i - v.First) / perPixel;
            line << QPointF(x, YOf(r, c.Data.Values[trace][size_t(i)], lo, hi));
        }
        // A cosmetic pen keeps the raster engine on its fast path; smoothing
        // only where the records are far apart.
        QPen pen(color, 0);
        p.setRenderHint(QPainter::Antialiasing, 1 / perPixel >= 4);
        p.setPen(pen);
        p.drawPolyline(line);
        if (line.size() == 1) {
            // A lone record has no line to draw: a mark that can be seen.
            const QPointF pt = line.first();
            p.fillRect(QRectF(pt.x() - 3, pt.y() - 3, 7, 7), color);
        } else if (1 / perPixel >= 6) {
            for (const QPointF& pt : line) p.fillRect(QRectF(pt.x() - 1.5, pt.y() - 1.5, 3, 3), color);
        }
    }
}

QString FileLabel(const Capture::sLoadedCapture* c) {
    return c ? QFileInfo(QString::fromStdString(c->Path)).fileName() : QString();
}

}  // namespace

Capture::sRange sScene::StatsRange(const Capture::sLoadedCapture& c) const {
    if (Selection && Selection->first < c.Records())
        return {Selection->first, std::min(Selection->second + 1, c.Records())};
    return Capture::sRange::All(c.Data);
}

sView FullView(size_t records, double minSpan) {
    const double n = double(records), span = std::max(n, minSpan);
    return {(n - span) / 2, span};
}

size_t sScene::Records() const {
    size_t n = Primary ? Primary->Records() : 0;
    if (Second) n = std::max(n, Second->Records());
    return n;
}

const sTraceLook& TraceLook(int trace) { return kLooks[std::clamp(trace, 0, Capture::TraceCount - 1)]; }

QColor SecondColor() { return ViewerPalette::Second; }

std::vector<double> NiceTicks(double lo, double hi, int maxTicks) {
    std::vector<double> ticks;
    if (!(hi > lo) || maxTicks < 2 || !std::isfinite(lo) || !std::isfinite(hi)) return ticks;
    const double raw = (hi - lo) / (maxTicks - 1);
    const double mag = std::pow(10.0, std::floor(std::log10(raw)));
    double step = mag;
    for (double f : {1.0, 2.0, 5.0, 10.0})
        if (f * mag >= raw * (1 - 1e-9)) {
            step = f * mag;
            break;
        }
    for (double v = std::ceil(lo / step - 1e-9) * step; v <= hi + step * 1e-9; v += step) {
        ticks.push_back(std::fabs(v) < step * 1e-9 ? 0.0 : v);
        if (ticks.size() > size_t(maxTicks) * 2) break;
    }
    // A round step wider than the range leaves one tick: the two ends then
    // say what the scale is.
    if (ticks.size() < 2) ticks = {lo, hi};
    return ticks;
}

void TraceRange(int trace, const sScene& scene, double& lo, double& hi) {
    const sTraceLook& look = TraceLook(trace);
    lo = look.Lo;
    hi = look.Hi;
    for (const auto* c : {scene.Primary.get(), scene.Second.get()}) {
        if (!c || c->Records() == 0) continue;
        const Capture::sRangeStats s = c->Pyramid[trace].Query(0, c->Records());
        lo = std::min(lo, double(s.Min));
        hi = std::max(hi, double(s.Max));
    }
    if (lo < look.Lo || hi > look.Hi) {
        // Widened: round out to the step of its ticks.
        const std::vector<double> t = NiceTicks(lo, hi, 6);
        if (t.size() >= 2) {
            const double step = t[1] - t[0];
            lo = std::floor(lo / step) * step;
            hi = std::ceil(hi / step) * step;
        }
    }
}

QString AxisText(double index, double secondsPerRecord) {
    if (secondsPerRecord <= 0) return QLocale().toString(qlonglong(std::llround(index)) + 1);
    double t = index * secondsPerRecord;
    const bool negative = t < 0;
    t = std::fabs(t);
    const long long tenths = std::llround(t * 10);
    const long long whole = tenths / 10, h = whole / 3600, m = whole / 60 % 60, s = whole % 60;
    QString text;
    if (h > 0) text = QStringLiteral("%1:%2:%3").arg(h).arg(m, 2, 10, QLatin1Char('0')).arg(s, 2, 10, QLatin1Char('0'));
    else
        text = QStringLiteral("%1:%2%3%4")
                   .arg(m)
                   .arg(s, 2, 10, QLatin1Char('0'))
                   .arg(QLocale().decimalPoint())
                   .arg(tenths % 10);
    return negative ? QStringLiteral("-") + text : text;
}

QString ValueText(int trace, double value) {
    // Far beyond any real reading (up to the float limit, 39 digits in fixed
    // notation) the number goes short, so that it fits beside an axis.
    if (std::fabs(value) >= LongValue) return QLocale().toString(value, 'g', 6);
    return QLocale().toString(value, 'f', TraceLook(trace).Decimals);
}

double FontPixels(QSizeF size) { return std::clamp(std::min(size.width() / 90.0, size.height() / 40.0), 9.0, 18.0); }

sLayout Layout(QSizeF size, int panels, double fp) {
    sLayout l;
    const double left = fp * 5.5, info = fp * 15, right = fp * 0.6, top = fp * 2.0, axis = fp * 2.4;
    const double gap = fp * 0.5;
    const double x0 = left, x1 = std::max(x0 + 10, size.width() - info - right - gap);
    l.Plot = QRectF(QPointF(std::round(x0), top), QPointF(std::round(x1), size.height() - axis));
    const double h = (l.Plot.height() - gap * (panels - 1)) / std::max(panels, 1);
    for (int i = 0; i < panels; ++i) {
        QRectF r(l.Plot.left(), std::round(top + i * (h + gap)), l.Plot.width(), std::round(std::max(h, 4.0)));
        l.Panels.push_back(r);
        l.Infos.push_back(QRectF(x1 + gap, r.top(), info, r.height()));
    }
    l.Axis = QRectF(l.Plot.left(), l.Plot.bottom(), l.Plot.width(), axis);
    return l;
}

QString MarkerDifference(const sScene& scene, size_t a, size_t b) {
    const size_t n = scene.Markers.size();
    size_t ia = 0, ib = 0;
    for (size_t i = 0; i < n; ++i) {
        if (scene.Markers[i] == a && !ia) ia = i + 1;
        if (scene.Markers[i] == b) ib = i + 1;
    }
    const size_t d = a > b ? a - b : b - a;
    QString text = CvTr("Markers %1 to %2: %3")
                       .arg(ia)
                       .arg(ib)
                       .arg(CvTrN("%1 record", "%1 records", (unsigned long)d).arg(QLocale().toString(qulonglong(d))));
    if (scene.SecondsPerRecord > 0)
        text += QStringLiteral(", ") + CvTr("%1 s").arg(QLocale().toString(double(d) * scene.SecondsPerRecord, 'f', 1));
    return text;
}

double IndexAt(const sLayout& layout, const sView& view, double x) {
    const double f = std::clamp((x - layout.Plot.left()) / std::max(layout.Plot.width(), 1.0), 0.0, 1.0);
    return view.First + f * view.Span;
}

namespace {

// What every part of the time traces' picture shares: the scene, its layout
// and fonts, and where a record's index lies across the plot.
struct sTimePlot {
    const sScene& Scene;
    QSizeF Size;
    std::vector<sPanel> Panels;
    double Fp;  // the font size in pixels, the unit of the margins
    sLayout L;
    QFont Normal, Bold, Big;
    QFontMetricsF Fm;
    size_t Records;
    double PerPixel;      // records per pixel across the plot
    double HeadY, HeadH;  // the line of file names above the traces

    sTimePlot(QSizeF size, const sScene& scene)
        : Scene(scene),
          Size(size),
          Panels(Plot::Panels(scene)),
          Fp(FontPixels(size)),
          L(Layout(size, int(Panels.size()), Fp)),
          Normal(DesignFont(int(std::round(Fp)), false)),
          Bold(DesignFont(int(std::round(Fp)), true)),
          Big(DesignFont(int(std::round(Fp * 1.5)), true)),
          Fm(Normal),
          Records(scene.Records()),
          PerPixel(scene.View.Span / std::max(L.Plot.width(), 1.0)),
          HeadY(Fp * 0.2),
          HeadH(Fp * 1.4) {}

    double XOf(double index) const { return L.Plot.left() + (index - Scene.View.First) / PerPixel; }
};

// File names over the traces, in the colours their lines have.
void PaintFileNames(QPainter& p, const sTimePlot& t) {
    const sScene& scene = t.Scene;
    p.setFont(t.Bold);
    double hx = t.L.Plot.left();
    if (scene.Primary) {
        p.setPen(Qt::white);
        const QString name = FileLabel(scene.Primary.get());
        p.drawText(QRectF(hx, t.HeadY, t.L.Plot.width(), t.HeadH), Qt::AlignLeft | Qt::AlignVCenter, name);
        hx += QFontMetricsF(t.Bold).horizontalAdvance(name) + t.Fp * 2;
    }
    if (scene.Second) {
        p.setPen(SecondColor());
        const QString text =
            (scene.Compare == eCompare::Overlaid ? CvTr("compared with") + QStringLiteral(" ") : QString()) +
            FileLabel(scene.Second.get());
        p.drawText(QRectF(hx, t.HeadY, t.L.Plot.right() - hx, t.HeadH), Qt::AlignLeft | Qt::AlignVCenter, text);
    }
}

// One trace's panel: grid and scale, the rich line of the lambda trace, the
// selected range, the trace (and the one laid over it) and the frame.
void PaintPanel(QPainter& p, const sTimePlot& t, const sPanel& pan, const QRectF& r, double lo, double hi) {
    const sScene& scene = t.Scene;
    const double fp = t.Fp;
    const QFontMetricsF& fm = t.Fm;
    p.setRenderHint(QPainter::Antialiasing, false);
    p.fillRect(r, Qt::black);
    // Grid and scale.
    const int maxTicks = std::clamp(int(r.height() / (fm.height() * 1.6)), 2, 6);
    const std::vector<double> ticks = NiceTicks(lo, hi, maxTicks);
    p.setFont(t.Normal);
    for (double tick : ticks) {
        const double y = std::round(YOf(r, tick, lo, hi)) + 0.5;
        p.setPen(QPen(ViewerPalette::Grid, 0));
        p.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
        p.setPen(Qt::white);
        // Labels at the ends stay within their own panel.
        const double ty = std::clamp(y - fm.height() / 2, r.top() - 1, r.bottom() - fm.height() + 1);
        p.drawText(QRectF(0, ty, r.left() - fp * 0.4, fm.height()), Qt::AlignRight | Qt::AlignVCenter,
                   ValueText(pan.Trace, tick));
    }
    const bool richLine = pan.Trace == Capture::TraceLambda && kLambdaLine > lo && kLambdaLine < hi;
    if (richLine) {
        const double y = std::round(YOf(r, kLambdaLine, lo, hi)) + 0.5;
        p.setPen(QPen(Palette::Orange, 1, Qt::DashLine));
        p.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
    }
    // Selected range.
    if (scene.Selection && t.Records) {
        const double a = std::max(r.left(), t.XOf(double(scene.Selection->first)));
        const double b = std::min(r.right(), t.XOf(double(scene.Selection->second + 1)));
        if (b > a)
            p.fillRect(QRectF(a, r.top(), std::max(b - a, 1.0), r.height()),
                       ViewerPalette::Translucent(Palette::Orange, 70));
    }
    if (pan.Capture) {
        const QColor color = pan.SecondGroup ? SecondColor() : TraceLook(pan.Trace).Color;
        p.save();
        p.setClipRect(r);
        DrawTrace(p, r, *pan.Capture, pan.Trace, scene.View, lo, hi, color);
        if (pan.Overlay) DrawTrace(p, r, *pan.Overlay, pan.Trace, scene.View, lo, hi, SecondColor());
        p.restore();
    }
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(ViewerPalette::Frame, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0.5, 0.5, -0.5, -0.5));
    if (richLine) {
        p.setPen(Palette::Orange);
        p.drawText(QRectF(r.left() + fp * 0.3, YOf(r, kLambdaLine, lo, hi) - fm.height(), fp * 6, fm.height()),
                   Qt::AlignLeft | Qt::AlignBottom, ValueText(Capture::TraceLambda, kLambdaLine) + " V");
    }
}

// Minimum, mean and maximum of the selected range, or of the view, from `y`
// down in the box's `inner` rectangle.
void PaintRangeStats(QPainter& p, const sTimePlot& t, const sPanel& pan, const QRectF& inner, double y,
                     const std::vector<std::pair<const Capture::sLoadedCapture*, QColor>>& shown) {
    const sScene& scene = t.Scene;
    size_t a, b;
    if (scene.Selection) {
        a = scene.Selection->first;
        b = scene.Selection->second + 1;
    } else {
        a = size_t(std::max(0.0, std::floor(scene.View.First)));
        b = size_t(std::max(0.0, std::ceil(scene.View.First + scene.View.Span)));
    }
    const QFont small = DesignFont(int(std::round(t.Fp * 0.85)), false);
    const QFontMetricsF sm(small);
    p.setFont(small);
    const double colW = inner.width() / 3;
    if (y + sm.height() * 2 > inner.bottom() + 2 || !t.Records) return;
    p.setPen(Palette::LightOrange);
    const char* heads[3] = {CvN_("min"), CvN_("mean"), CvN_("max")};
    for (int i = 0; i < 3; ++i)
        p.drawText(QRectF(inner.left() + i * colW, y, colW, sm.height()), Qt::AlignLeft | Qt::AlignVCenter,
                   CvTr(heads[i]));
    y += sm.height();
    for (const auto& [c, color] : shown) {
        if (y + sm.height() > inner.bottom() + 2) break;
        const Capture::sRangeStats s = c->Pyramid[pan.Trace].Query(a, b);
        if (!s.Count) continue;
        p.setPen(color == Palette::Yellow ? QColor(Qt::white) : color);
        const double vals[3] = {s.Min, s.Mean(), s.Max};
        for (int i = 0; i < 3; ++i)
            p.drawText(QRectF(inner.left() + i * colW, y, colW, sm.height()), Qt::AlignLeft | Qt::AlignVCenter,
                       ValueText(pan.Trace, vals[i]));
        y += sm.height();
    }
}

// The box beside the trace: title, value at the cursor, statistics of the
// selected range.
void PaintInfoBox(QPainter& p, const sTimePlot& t, const sPanel& pan, const QRectF& box) {
    const sScene& scene = t.Scene;
    const double fp = t.Fp;
    const sTraceLook& look = TraceLook(pan.Trace);
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(QPen(Palette::Orange, 2));
    p.setBrush(Qt::black);
    p.drawRoundedRect(box.adjusted(1, 1, -1, -1), fp * 0.6, fp * 0.6);
    p.setBrush(Qt::NoBrush);
    const QRectF inner = box.adjusted(fp * 0.6, fp * 0.2, -fp * 0.5, -fp * 0.2);
    QString title = CvTr(look.Title);
    if (*look.Unit) title += QStringLiteral(" [") + CvTr(look.Unit) + QStringLiteral("]");
    p.setFont(t.Bold);
    p.setPen(pan.SecondGroup ? SecondColor() : Palette::LightOrange);
    const double line = QFontMetricsF(t.Bold).height();
    double y = inner.top();
    if (inner.height() >= line)
        p.drawText(QRectF(inner.left(), y, inner.width(), line), Qt::AlignLeft | Qt::AlignVCenter, title);
    y += line;
    std::vector<std::pair<const Capture::sLoadedCapture*, QColor>> shown;
    if (pan.Capture) shown.push_back({pan.Capture, pan.SecondGroup ? SecondColor() : Palette::Yellow});
    if (pan.Overlay) shown.push_back({pan.Overlay, SecondColor()});
    if (scene.Cursor) {
        p.setFont(t.Big);
        const double bl = QFontMetricsF(t.Big).height();
        double x = inner.left();
        for (const auto& [c, color] : shown) {
            if (*scene.Cursor >= c->Records() || y + bl > inner.bottom() + 2) continue;
            const QString text = ValueText(pan.Trace, c->Data.Values[pan.Trace][*scene.Cursor]);
            p.setPen(color);
            p.drawText(QRectF(x, y, inner.right() - x, bl), Qt::AlignLeft | Qt::AlignVCenter, text);
            x += QFontMetricsF(t.Big).horizontalAdvance(text) + fp;
        }
        y += bl;
    }
    PaintRangeStats(p, t, pan, inner, y, shown);
}

// The shared horizontal axis: ticks at round times, or at round record
// numbers (counted from 1), with their lines across every panel.
void PaintTimeAxis(QPainter& p, const sTimePlot& t) {
    const sScene& scene = t.Scene;
    const sLayout& l = t.L;
    const double fp = t.Fp;
    const QFontMetricsF& fm = t.Fm;
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setFont(t.Normal);
    const int maxTicks = std::max(2, int(l.Plot.width() / (fm.horizontalAdvance(QStringLiteral("00:00:00")) * 1.8)));
    const double unit = scene.SecondsPerRecord > 0 ? scene.SecondsPerRecord : 1.0;
    const double shift = scene.SecondsPerRecord > 0 ? 0.0 : 1.0;
    for (double tick :
         NiceTicks(scene.View.First * unit + shift, (scene.View.First + scene.View.Span) * unit + shift, maxTicks)) {
        const double index = (tick - shift) / unit;
        const double x = std::round(t.XOf(index)) + 0.5;
        if (x < l.Plot.left() || x > l.Plot.right()) continue;
        // A short capture stands centred: no ticks before its first record
        // or after its last.
        if (index < -1e-9 || (t.Records && index > double(t.Records - 1) + 1e-9 && double(t.Records) < scene.View.Span))
            continue;
        p.setPen(QPen(ViewerPalette::Grid, 0));
        for (const QRectF& r : l.Panels) p.drawLine(QPointF(x, r.top() + 1), QPointF(x, r.bottom() - 1));
        p.setPen(Qt::white);
        p.drawLine(QPointF(x, l.Axis.top()), QPointF(x, l.Axis.top() + fp * 0.3));
        // A label that would stick out on the left (over the axis title) is left off.
        const QString label = AxisText(index, scene.SecondsPerRecord);
        if (x - fm.horizontalAdvance(label) / 2 < l.Plot.left() - fp * 0.2) continue;
        p.drawText(QRectF(x - fp * 5, l.Axis.top() + fp * 0.3, fp * 10, fm.height()), Qt::AlignHCenter | Qt::AlignTop,
                   label);
    }
    p.setPen(Palette::LightOrange);
    p.drawText(QRectF(0, l.Axis.top() + fp * 0.3, l.Plot.left() - fp * 0.4, fm.height()), Qt::AlignRight | Qt::AlignTop,
               scene.SecondsPerRecord > 0 ? CvTr("Time") : CvTr("Record"));
}

// Numbered markers, and the difference between the last two of them at the
// right of the file names.
void PaintMarkers(QPainter& p, const sTimePlot& t) {
    const sScene& scene = t.Scene;
    const sLayout& l = t.L;
    const double fp = t.Fp;
    const QColor markerColour = ViewerPalette::Marker;
    for (size_t m = 0; m < scene.Markers.size(); ++m) {
        const double x = std::round(t.XOf(double(scene.Markers[m]))) + 0.5;
        if (x < l.Plot.left() || x > l.Plot.right()) continue;
        p.setPen(QPen(markerColour, 1, Qt::DashLine));
        p.drawLine(QPointF(x, l.Plot.top()), QPointF(x, l.Plot.bottom()));
        p.setFont(t.Bold);
        const QString number = QString::number(m + 1);
        const double w = QFontMetricsF(t.Bold).horizontalAdvance(number) + fp * 0.6;
        const QRectF tag(std::min(x + 1, l.Plot.right() - w), l.Plot.top(), w, t.Fm.height());
        p.fillRect(tag, markerColour);
        p.setPen(Qt::black);
        p.drawText(tag, Qt::AlignCenter, number);
    }
    if (scene.Markers.size() >= 2) {
        const size_t n = scene.Markers.size();
        p.setFont(t.Bold);
        p.setPen(markerColour);
        p.drawText(QRectF(l.Plot.left(), t.HeadY, t.Size.width() - l.Plot.left() - fp * 0.6, t.HeadH),
                   Qt::AlignRight | Qt::AlignVCenter,
                   MarkerDifference(scene, scene.Markers[n - 2], scene.Markers[n - 1]));
    }
}

// Where the ECU was away while the capture ran (its gap lines): a dashed line
// between the records before and after it, and "gap 12 s" at the foot of the
// traces. The time axis counts polling cycles, and none stands in a gap: the
// time after a gap is that much later than the axis says.
void PaintGaps(QPainter& p, const sTimePlot& t) {
    const sLayout& l = t.L;
    double labelEnd = -1e9;  // labels of gaps close together would overlap
    p.setFont(t.Bold);
    for (const auto* c : {t.Scene.Primary.get(), t.Scene.Second.get()}) {
        if (!c) continue;
        for (const Capture::sGap& g : c->Data.Gaps) {
            if (g.Record == 0 || g.Record > c->Records()) continue;
            const double x = std::round(t.XOf(double(g.Record) - 0.5)) + 0.5;
            if (x < l.Plot.left() || x > l.Plot.right()) continue;
            p.setPen(QPen(ViewerPalette::Gap, 2, Qt::DashLine));
            p.drawLine(QPointF(x, l.Plot.top()), QPointF(x, l.Plot.bottom()));
            const QString text = CvTr("gap %1 s").arg(QLocale().toString(g.Seconds, 'f', g.Seconds < 10 ? 1 : 0));
            const double w = QFontMetricsF(t.Bold).horizontalAdvance(text) + t.Fp * 0.6;
            const double left = std::clamp(x + 2, l.Plot.left(), l.Plot.right() - w);
            if (left < labelEnd) continue;
            labelEnd = left + w + t.Fp * 0.3;
            const QRectF tag(left, l.Plot.bottom() - t.Fm.height() - 2, w, t.Fm.height());
            p.fillRect(tag, ViewerPalette::Gap);
            p.setPen(Qt::black);
            p.drawText(tag, Qt::AlignCenter, text);
        }
    }
}

// The cursor across all traces, with its time under the axis.
void PaintCursor(QPainter& p, const sTimePlot& t) {
    const sScene& scene = t.Scene;
    const sLayout& l = t.L;
    const double x = std::round(t.XOf(double(*scene.Cursor))) + 0.5;
    if (x < l.Plot.left() || x > l.Plot.right()) return;
    p.setPen(QPen(ViewerPalette::Translucent(Palette::White, 200), 1));
    p.drawLine(QPointF(x, l.Plot.top()), QPointF(x, l.Plot.bottom()));
    p.setPen(Palette::Yellow);
    p.setFont(t.Bold);
    const QString text = AxisText(double(*scene.Cursor), scene.SecondsPerRecord);
    const double w = QFontMetricsF(t.Bold).horizontalAdvance(text) + t.Fp;
    const QRectF tag(std::clamp(x - w / 2, l.Plot.left(), l.Plot.right() - w),
                     l.Axis.top() + t.Fp * 0.3 + t.Fm.height(), w, t.Fm.height());
    p.fillRect(tag, Palette::Navy);
    p.drawText(tag, Qt::AlignCenter, text);
}

// The time traces, one panel per trace (per capture when stacked).
void PaintTime(QPainter& p, QSizeF size, const sScene& scene) {
    const sTimePlot t(size, scene);
    p.fillRect(QRectF(QPointF(0, 0), size), Palette::Navy);
    PaintFileNames(p, t);
    for (size_t k = 0; k < t.Panels.size(); ++k) {
        const sPanel& pan = t.Panels[k];
        double lo, hi;
        TraceRange(pan.Trace, scene, lo, hi);
        PaintPanel(p, t, pan, t.L.Panels[k], lo, hi);
        PaintInfoBox(p, t, pan, t.L.Infos[k]);
    }
    PaintTimeAxis(p, t);
    if (t.Records) PaintGaps(p, t);
    if (t.Records) PaintMarkers(p, t);
    if (scene.Cursor && t.Records) PaintCursor(p, t);
    if (t.Records == 0 && !scene.EmptyText.isEmpty()) {
        p.setFont(t.Big);
        p.setPen(Qt::white);
        p.drawText(t.L.Plot, Qt::AlignCenter | Qt::TextWordWrap, scene.EmptyText);
    }
}

}  // namespace

void Paint(QPainter& p, QSizeF size, const sScene& scene) {
    switch (scene.Kind) {
    case eKind::Scatter: PaintScatter(p, size, scene); return;
    case eKind::Map: PaintMap(p, size, scene); return;
    case eKind::Histogram: PaintHistograms(p, size, scene); return;
    case eKind::Time: PaintTime(p, size, scene); return;
    }
}

}  // namespace Plot

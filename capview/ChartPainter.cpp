// The views beside the time traces: the scatter plot of one channel against
// another, the speed x throttle map and the histograms. They paint from the
// Qt-free statistics of DriveStats onto any painter, like the time view.
#include <algorithm>
#include <cmath>

#include <QFileInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QLocale>
#include <QPainter>

#include "widgets/DesignFont.h"

#include "capview/PlotPainter.h"
#include "capview/ViewerPalette.h"
#include "capview/ViewerQt.h"

namespace Plot {

namespace {

constexpr double kLambdaLine = Capture::RichLambdaVolts;

// Blue (low) over green and yellow to red (high).
QColor Ramp(double t) {
    t = std::clamp(t, 0.0, 1.0);
    return QColor::fromHsvF(float((1 - t) * 0.66), 1.0f, 1.0f);
}

// Density: the share of the busiest cell on a logarithmic scale, so that a
// cell of one point still shows next to one of thousands.
double Density(uint32_t n, uint32_t max) {
    if (!n || !max) return 0;
    return max <= 1 ? 1.0 : std::log1p(double(n)) / std::log1p(double(max));
}

QString Title(int trace) {
    const sTraceLook& look = TraceLook(trace);
    QString t = CvTr(look.Title);
    if (*look.Unit) t += QStringLiteral(" [") + CvTr(look.Unit) + QStringLiteral("]");
    return t;
}

QString Name(const Capture::sLoadedCapture* c) {
    return c ? QFileInfo(QString::fromStdString(c->Path)).fileName() : QString();
}

// The file names over the plot in their colours; returns where the next
// text may start.
double Header(QPainter& p, const sScene& scene, double x, double y, double h, double right, const QFont& bold,
              const QColor& primary) {
    p.setFont(bold);
    const QFontMetricsF fm(bold);
    if (scene.Primary) {
        const QString name = Name(scene.Primary.get());
        p.setPen(primary);
        p.drawText(QRectF(x, y, right - x, h), Qt::AlignLeft | Qt::AlignVCenter, name);
        x += fm.horizontalAdvance(name) + fm.height();
    }
    if (scene.Second) {
        const QString name = CvTr("compared with") + QStringLiteral(" ") + Name(scene.Second.get());
        p.setPen(SecondColor());
        p.drawText(QRectF(x, y, right - x, h), Qt::AlignLeft | Qt::AlignVCenter, name);
        x += fm.horizontalAdvance(name) + fm.height();
    }
    return x;
}

void Empty(QPainter& p, const QRectF& r, const sScene& scene, double fp) {
    if (scene.EmptyText.isEmpty()) return;
    p.setFont(DesignFont(int(std::round(fp * 1.5)), true));
    p.setPen(Qt::white);
    p.drawText(r, Qt::AlignCenter | Qt::TextWordWrap, scene.EmptyText);
}

// A value axis along a rectangle's left or bottom side, with grid lines.
void ValueAxis(QPainter& p, const QRectF& r, bool vertical, int trace, double lo, double hi, const QFont& font,
               double fp) {
    const QFontMetricsF fm(font);
    p.setFont(font);
    const int maxTicks =
        vertical ? std::clamp(int(r.height() / (fm.height() * 1.5)), 2, 10)
                 : std::clamp(int(r.width() / (fm.horizontalAdvance(QStringLiteral("00000")) * 1.6)), 2, 12);
    for (double t : NiceTicks(lo, hi, maxTicks)) {
        const double f = (t - lo) / (hi - lo);
        p.setPen(QPen(ViewerPalette::Grid, 0));
        const QString text = ValueText(trace, t);
        if (vertical) {
            const double y = std::round(r.bottom() - f * r.height()) + 0.5;
            p.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
            p.setPen(Qt::white);
            const double ty = std::clamp(y - fm.height() / 2, r.top() - fm.height() / 2, r.bottom() - fm.height() / 2);
            p.drawText(QRectF(0, ty, r.left() - fp * 0.4, fm.height()), Qt::AlignRight | Qt::AlignVCenter, text);
        } else {
            const double x = std::round(r.left() + f * r.width()) + 0.5;
            p.drawLine(QPointF(x, r.top()), QPointF(x, r.bottom()));
            p.setPen(Qt::white);
            p.drawText(QRectF(x - fp * 4, r.bottom() + fp * 0.2, fp * 8, fm.height()), Qt::AlignHCenter | Qt::AlignTop,
                       text);
        }
    }
}

// The statistics are computed once per capture, range and option, not on
// every repaint (the mouse readout repaints often).
struct sMapCache {
    const void* Data = nullptr;
    size_t Records = 0, First = 0, Last = 0;
    Capture::sMapOptions Options;
    Capture::sDriveMap Map;
};

const Capture::sDriveMap& CachedMap(const Capture::sLoadedCapture& c, Capture::sRange range,
                                    const Capture::sMapOptions& o) {
    static thread_local sMapCache cache;
    if (cache.Data != &c.Data || cache.Records != c.Records() || cache.First != range.First ||
        cache.Last != range.Last || cache.Options.RpmStep != o.RpmStep || cache.Options.TpsStep != o.TpsStep ||
        cache.Options.RichAbove != o.RichAbove) {
        cache.Map = Capture::BuildDriveMap(c.Data, range, o);
        cache.Data = &c.Data;
        cache.Records = c.Records();
        cache.First = range.First;
        cache.Last = range.Last;
        cache.Options = o;
    }
    return cache.Map;
}

struct sMapGeometry {
    QRectF Plot;
    int64_t RpmFirst = 0, RpmLast = -1, TpsFirst = 0, TpsLast = -1;  // bins shown
    double CellW = 0, CellH = 0;
};

sMapGeometry MapGeometry(QSizeF size, const Capture::sDriveMap& map, double fp) {
    sMapGeometry g;
    g.Plot = QRectF(QPointF(fp * 5.5, fp * 3.6), QPointF(size.width() - fp * 6.5, size.height() - fp * 5.2));
    if (map.Cells.empty()) return g;
    g.RpmFirst = map.Cells.front().RpmBin;
    g.RpmLast = map.Cells.back().RpmBin;
    g.TpsFirst = g.TpsLast = map.Cells.front().TpsBin;
    for (const auto& c : map.Cells) {
        g.TpsFirst = std::min(g.TpsFirst, c.TpsBin);
        g.TpsLast = std::max(g.TpsLast, c.TpsBin);
    }
    g.CellW = g.Plot.width() / double(g.RpmLast - g.RpmFirst + 1);
    g.CellH = g.Plot.height() / double(g.TpsLast - g.TpsFirst + 1);
    return g;
}

// The scene with its first capture only (every other field as new).
sScene PrimaryOnly(const sScene& scene) {
    sScene only;
    only.Primary = scene.Primary;
    return only;
}

}  // namespace

sScatterFrame ScatterFrame(QSizeF size, const sScene& scene) {
    const double fp = FontPixels(size);
    sScatterFrame f;
    const double right = scene.ScatterC >= 0 && !scene.Second ? fp * 9 : fp * 1.2;
    f.Plot = QRectF(QPointF(std::round(fp * 5.5), std::round(fp * 3.6)),
                    QPointF(std::round(size.width() - right), std::round(size.height() - fp * 3.6)));
    TraceRange(scene.ScatterX, scene, f.XLo, f.XHi);
    TraceRange(scene.ScatterY, scene, f.YLo, f.YHi);
    return f;
}

void PaintScatter(QPainter& p, QSizeF size, const sScene& scene) {
    const double fp = FontPixels(size);
    const QFont normal = DesignFont(int(std::round(fp)), false), bold = DesignFont(int(std::round(fp)), true);
    const QFontMetricsF fm(normal);
    const sScatterFrame f = ScatterFrame(size, scene);
    const QRectF& r = f.Plot;
    p.fillRect(QRectF(QPointF(0, 0), size), Palette::Navy);
    const bool coloured = scene.ScatterC >= 0 && !scene.Second;
    Header(p, scene, r.left(), fp * 0.2, fp * 1.4, size.width(), bold,
           coloured ? QColor(Qt::white) : ViewerPalette::Heading);
    p.setFont(bold);
    p.setPen(Palette::LightOrange);
    QString what =
        Title(scene.ScatterY) + QStringLiteral(" ") + CvTr("against") + QStringLiteral(" ") + Title(scene.ScatterX);
    if (coloured) what += QStringLiteral(", ") + CvTr("colour: %1").arg(Title(scene.ScatterC));
    else what += QStringLiteral(", ") + CvTr("brighter where more records are");
    p.drawText(QRectF(r.left(), fp * 1.7, r.width(), fp * 1.4), Qt::AlignLeft | Qt::AlignVCenter, what);

    p.fillRect(r, Qt::black);
    ValueAxis(p, r, true, scene.ScatterY, f.YLo, f.YHi, normal, fp);
    ValueAxis(p, r, false, scene.ScatterX, f.XLo, f.XHi, normal, fp);
    p.setPen(Palette::LightOrange);
    p.setFont(bold);
    p.drawText(QRectF(r.left(), r.bottom() + fm.height() + fp * 0.4, r.width(), fm.height() * 1.2), Qt::AlignHCenter,
               Title(scene.ScatterX));
    for (int axis = 0; axis < 2; ++axis) {
        const int trace = axis ? scene.ScatterY : scene.ScatterX;
        if (trace != Capture::TraceLambda) continue;
        p.setPen(QPen(Palette::Orange, 1, Qt::DashLine));
        if (axis) {
            const double y = r.bottom() - (kLambdaLine - f.YLo) / (f.YHi - f.YLo) * r.height();
            if (y > r.top() && y < r.bottom()) p.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
        } else {
            const double x = r.left() + (kLambdaLine - f.XLo) / (f.XHi - f.XLo) * r.width();
            if (x > r.left() && x < r.right()) p.drawLine(QPointF(x, r.top()), QPointF(x, r.bottom()));
        }
    }
    if (scene.Records() == 0) {
        Empty(p, r, scene, fp);
        return;
    }

    // Cells of two by two pixels; each is drawn as a dot of four, so that
    // lone points stay visible and neighbours join.
    const int cols = std::max(1, int(r.width() / 2)), rows = std::max(1, int(r.height() / 2));
    QImage image(int(r.width()), int(r.height()), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    double cLo = 0, cHi = 1;
    if (coloured) TraceRange(scene.ScatterC, scene, cLo, cHi);
    auto draw = [&](const Capture::sLoadedCapture& c, const QColor& colour) {
        const Capture::sDensityGrid g =
            Capture::BuildDensityGrid(c.Data, scene.ScatterX, scene.ScatterY, coloured ? scene.ScatterC : -1,
                                      scene.StatsRange(c), f.XLo, f.XHi, f.YLo, f.YHi, cols, rows);
        for (int gy = 0; gy < g.Rows; ++gy)
            for (int gx = 0; gx < g.Columns; ++gx) {
                const uint32_t n = g.Count(gx, gy);
                if (!n) continue;
                const double d = Density(n, g.MaxCount);
                QColor col;
                if (coloured) {
                    const double mean = g.ColourSum[size_t(gy) * size_t(g.Columns) + size_t(gx)] / double(n);
                    col = Ramp((mean - cLo) / (cHi - cLo));
                    col = col.darker(int(100 + (1 - d) * 90));
                } else {
                    // Dimmer where few points are, full colour where most are.
                    col = colour.darker(int(100 + (1 - d) * 150));
                }
                const QRgb px = col.rgba();
                const int x0 = gx * 2, y0 = int(r.height()) - 2 - gy * 2;
                for (int yy = std::max(0, y0 - 1); yy < std::min(image.height(), y0 + 3); ++yy) {
                    auto* line = reinterpret_cast<QRgb*>(image.scanLine(yy));
                    for (int xx = std::max(0, x0 - 1); xx < std::min(image.width(), x0 + 3); ++xx) line[xx] = px;
                }
            }
    };
    if (scene.Second) draw(*scene.Second, SecondColor());
    if (scene.Primary) draw(*scene.Primary, ViewerPalette::Heading);
    p.drawImage(r.topLeft(), image);
    p.setPen(QPen(ViewerPalette::Grid, 0));
    p.setBrush(Qt::NoBrush);
    p.drawRect(r.adjusted(0, 0, -1, -1));

    // The colour channel's scale on the right.
    if (coloured) {
        const QRectF bar(r.right() + fp * 1.0, r.top(), fp * 1.2, r.height());
        for (int y = 0; y < int(bar.height()); ++y)
            p.fillRect(QRectF(bar.left(), bar.bottom() - y - 1, bar.width(), 1),
                       Ramp(y / std::max(1.0, bar.height() - 1)));
        p.setFont(normal);
        p.setPen(Qt::white);
        for (double t : NiceTicks(cLo, cHi, std::clamp(int(bar.height() / (fm.height() * 2)), 2, 8))) {
            const double y = bar.bottom() - (t - cLo) / (cHi - cLo) * bar.height();
            p.drawText(QRectF(bar.right() + fp * 0.3, y - fm.height() / 2, fp * 6, fm.height()),
                       Qt::AlignLeft | Qt::AlignVCenter, ValueText(scene.ScatterC, t));
        }
    }

    // The nearest point's readout.
    if (scene.Nearest) {
        const Capture::sLoadedCapture* c = scene.Nearest->first ? scene.Second.get() : scene.Primary.get();
        const size_t i = scene.Nearest->second;
        if (c && i < c->Records()) {
            const double x = r.left() + (c->Data.Value(scene.ScatterX, i) - f.XLo) / (f.XHi - f.XLo) * r.width();
            const double y = r.bottom() - (c->Data.Value(scene.ScatterY, i) - f.YLo) / (f.YHi - f.YLo) * r.height();
            p.setRenderHint(QPainter::Antialiasing, true);
            p.setPen(QPen(Qt::white, 2));
            p.drawEllipse(QPointF(x, y), fp * 0.6, fp * 0.6);
            p.setRenderHint(QPainter::Antialiasing, false);
            QString text = CvTr("Record %1").arg(QLocale().toString(qulonglong(i + 1)));
            if (scene.SecondsPerRecord > 0)
                text += QStringLiteral(" (") + AxisText(double(i), scene.SecondsPerRecord) + ')';
            if (scene.Second) text += QStringLiteral(" · ") + Name(c);
            for (int t = 0; t < Capture::TraceCount; ++t) {
                const sTraceLook& look = TraceLook(t);
                text +=
                    QStringLiteral("\n") + CvTr(look.Title) + QStringLiteral(": ") + ValueText(t, c->Data.Value(t, i));
                if (*look.Unit) text += QStringLiteral(" ") + CvTr(look.Unit);
            }
            p.setFont(bold);
            const QFontMetricsF bm(bold);
            const QRectF need = bm.boundingRect(QRectF(0, 0, r.width(), r.height()), Qt::AlignLeft, text);
            QRectF box(0, 0, need.width() + fp, need.height() + fp * 0.6);
            // Away from the point, inside the plot.
            box.moveTopLeft(QPointF(x + fp > r.center().x() ? r.left() + fp * 0.5 : r.right() - box.width() - fp * 0.5,
                                    r.top() + fp * 0.5));
            p.fillRect(box, ViewerPalette::Translucent(Palette::Black, 200));
            p.setPen(QPen(Palette::Orange, 1));
            p.drawRect(box);
            p.setPen(scene.Nearest->first ? SecondColor() : QColor(Qt::white));
            p.drawText(box.adjusted(fp * 0.5, fp * 0.3, 0, 0), Qt::AlignLeft | Qt::AlignTop, text);
        }
    }
}

bool MapCellAt(QSizeF size, const sScene& scene, QPointF at, int64_t& rpmBin, int64_t& tpsBin) {
    if (!scene.Primary) return false;
    const Capture::sDriveMap& map = CachedMap(*scene.Primary, scene.StatsRange(*scene.Primary), scene.Map);
    const sMapGeometry g = MapGeometry(size, map, FontPixels(size));
    if (map.Cells.empty() || !g.Plot.contains(at)) return false;
    rpmBin = g.RpmFirst + int64_t((at.x() - g.Plot.left()) / g.CellW);
    tpsBin = g.TpsFirst + int64_t((g.Plot.bottom() - at.y()) / g.CellH);
    rpmBin = std::min(rpmBin, g.RpmLast);
    tpsBin = std::min(tpsBin, g.TpsLast);
    return true;
}

void PaintMap(QPainter& p, QSizeF size, const sScene& scene) {
    const double fp = FontPixels(size);
    const QFont normal = DesignFont(int(std::round(fp)), false), bold = DesignFont(int(std::round(fp)), true);
    const QFont small = DesignFont(int(std::round(std::max(10.0, fp * 0.85))), false);
    const QFontMetricsF fm(normal), sm(small);
    p.fillRect(QRectF(QPointF(0, 0), size), Palette::Navy);
    if (!scene.Primary || scene.Primary->Records() == 0) {
        Empty(p, QRectF(QPointF(0, 0), size), scene, fp);
        return;
    }
    const Capture::sLoadedCapture& c = *scene.Primary;
    const Capture::sDriveMap& map = CachedMap(c, scene.StatsRange(c), scene.Map);
    const sMapGeometry g = MapGeometry(size, map, fp);
    Header(p, scene.Second ? PrimaryOnly(scene) : scene, g.Plot.left(), fp * 0.2, fp * 1.4, size.width(), bold,
           QColor(Qt::white));

    static const char* const colourNames[] = {CvN_("share of the drive"), CvN_("mean valve position"),
                                              CvN_("mean lambda voltage"), CvN_("share rich")};
    const int colourBy = std::clamp(int(scene.MapColour), 0, 3);
    p.setFont(bold);
    p.setPen(Palette::LightOrange);
    const QLocale loc;
    const QString options = CvTr("Speed x throttle map, colour: %1; steps %2 rpm and %3 V, rich above %4 V")
                                .arg(CvTr(colourNames[colourBy]))
                                .arg(loc.toString(scene.Map.RpmStep, 'g', 6))
                                .arg(loc.toString(scene.Map.TpsStep, 'g', 6))
                                .arg(loc.toString(scene.Map.RichAbove, 'g', 6));
    p.drawText(QRectF(g.Plot.left(), fp * 1.7, size.width() - g.Plot.left(), fp * 1.4),
               Qt::AlignLeft | Qt::AlignVCenter, options);
    if (map.Cells.empty()) {
        Empty(p, g.Plot, scene, fp);
        return;
    }
    double maxShare = 0;
    for (const auto& cell : map.Cells) maxShare = std::max(maxShare, map.Share(cell));
    auto value = [&](const Capture::sMapCell& cell) {
        switch (colourBy) {
        case 0: return maxShare > 0 ? map.Share(cell) / maxShare : 0.0;
        case 1: return cell.ValveMean() / 255.0;
        case 2: return cell.LambdaMean();
        default: return cell.RichShare();
        }
    };
    p.fillRect(g.Plot, Qt::black);
    const bool text = g.CellW >= sm.horizontalAdvance(QStringLiteral("100.0 %")) + 4 && g.CellH >= sm.height() * 2 + 2;
    const bool fullText = text && g.CellH >= sm.height() * 4 + 2;
    p.setFont(small);
    for (const auto& cell : map.Cells) {
        const QRectF box(g.Plot.left() + double(cell.RpmBin - g.RpmFirst) * g.CellW,
                         g.Plot.bottom() - double(cell.TpsBin - g.TpsFirst + 1) * g.CellH, g.CellW, g.CellH);
        const QColor col = Ramp(value(cell));
        p.fillRect(box.adjusted(0.5, 0.5, -0.5, -0.5), col);
        if (!text) continue;
        QStringList lines;
        lines << loc.toString(map.Share(cell) * 100, 'f', 1) + QStringLiteral(" %");
        if (fullText) {
            lines << loc.toString(cell.ValveMean(), 'f', 0);
            lines << loc.toString(cell.LambdaMean(), 'f', 2) + QStringLiteral(" V");
            lines << loc.toString(cell.RichShare() * 100, 'f', 0) + QStringLiteral(" %");
        } else {
            lines << loc.toString(cell.LambdaMean(), 'f', 2) + QStringLiteral(" V");
        }
        p.setPen(qGray(col.rgb()) > 120 ? QColor(Qt::black) : QColor(Qt::white));
        p.drawText(box, Qt::AlignCenter, lines.join('\n'));
    }
    // Edges of the bins along both axes.
    p.setFont(normal);
    p.setPen(Qt::white);
    const double labelW = fm.horizontalAdvance(QStringLiteral("00000")) * 1.3;
    const int rpmEvery = std::max(1, int(std::ceil(labelW / std::max(g.CellW, 1.0))));
    for (int64_t b = g.RpmFirst; b <= g.RpmLast + 1; ++b) {
        if ((b - g.RpmFirst) % rpmEvery) continue;
        const double x = g.Plot.left() + double(b - g.RpmFirst) * g.CellW;
        p.drawLine(QPointF(x, g.Plot.bottom()), QPointF(x, g.Plot.bottom() + fp * 0.3));
        p.drawText(QRectF(x - fp * 4, g.Plot.bottom() + fp * 0.3, fp * 8, fm.height()), Qt::AlignHCenter | Qt::AlignTop,
                   loc.toString(map.RpmFrom(b), 'f', 0));
    }
    const int tpsEvery = std::max(1, int(std::ceil(fm.height() * 1.2 / std::max(g.CellH, 1.0))));
    for (int64_t b = g.TpsFirst; b <= g.TpsLast + 1; ++b) {
        if ((b - g.TpsFirst) % tpsEvery) continue;
        const double y = g.Plot.bottom() - double(b - g.TpsFirst) * g.CellH;
        p.drawLine(QPointF(g.Plot.left() - fp * 0.3, y), QPointF(g.Plot.left(), y));
        p.drawText(QRectF(0, y - fm.height() / 2, g.Plot.left() - fp * 0.4, fm.height()),
                   Qt::AlignRight | Qt::AlignVCenter, loc.toString(map.TpsFrom(b), 'f', 2));
    }
    p.setPen(Palette::LightOrange);
    p.setFont(bold);
    p.drawText(QRectF(g.Plot.left(), g.Plot.bottom() + fm.height() + fp * 0.4, g.Plot.width(), fm.height() * 1.2),
               Qt::AlignHCenter, Title(Capture::TraceRpm));
    p.save();
    p.translate(fp * 0.2, g.Plot.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-g.Plot.height() / 2, 0, g.Plot.height(), fm.height() * 1.2), Qt::AlignHCenter,
               Title(Capture::TraceTps));
    p.restore();

    // What a cell holds, and the scale, on the right and at the bottom.
    const QRectF bar(g.Plot.right() + fp * 1.0, g.Plot.top(), fp * 1.2, g.Plot.height());
    for (int y = 0; y < int(bar.height()); ++y)
        p.fillRect(QRectF(bar.left(), bar.bottom() - y - 1, bar.width(), 1), Ramp(y / std::max(1.0, bar.height() - 1)));
    p.setFont(normal);
    p.setPen(Qt::white);
    const QString top = colourBy == 0   ? loc.toString(maxShare * 100, 'f', 1) + QStringLiteral(" %")
                        : colourBy == 1 ? QStringLiteral("255")
                        : colourBy == 2 ? loc.toString(1.0, 'f', 2) + QStringLiteral(" V")
                                        : QStringLiteral("100 %");
    p.drawText(QRectF(bar.right() + fp * 0.3, bar.top(), size.width() - bar.right() - fp * 0.3, fm.height()),
               Qt::AlignLeft | Qt::AlignTop, top);
    p.drawText(QRectF(bar.right() + fp * 0.3, bar.bottom() - fm.height(), fp * 4, fm.height()),
               Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("0"));
    // The bottom line: the picked cell's full figures, or what a cell shows.
    const QRectF bottomLine(g.Plot.left(), size.height() - sm.height() * 1.3, size.width() - g.Plot.left(),
                            sm.height() * 1.2);
    const Capture::sMapCell* picked = scene.MapCell ? map.Find(scene.MapCell->first, scene.MapCell->second) : nullptr;
    if (picked) {
        const int64_t rb = picked->RpmBin, tb = picked->TpsBin;
        const QRectF box(g.Plot.left() + double(rb - g.RpmFirst) * g.CellW,
                         g.Plot.bottom() - double(tb - g.TpsFirst + 1) * g.CellH, g.CellW, g.CellH);
        p.setPen(QPen(Qt::white, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(box);
        const QString t =
            CvTr("%1 to %2 rpm, %3 to %4 V: %5 (%6 %), valve %7, lambda %8 V, rich %9 %")
                .arg(loc.toString(map.RpmFrom(rb), 'f', 0), loc.toString(map.RpmFrom(rb + 1), 'f', 0),
                     loc.toString(map.TpsFrom(tb), 'f', 2), loc.toString(map.TpsFrom(tb + 1), 'f', 2),
                     CvTrN("%1 record", "%1 records", (unsigned long)picked->Records)
                         .arg(loc.toString(qulonglong(picked->Records))),
                     loc.toString(map.Share(*picked) * 100, 'f', 1), loc.toString(picked->ValveMean(), 'f', 1),
                     loc.toString(picked->LambdaMean(), 'f', 3), loc.toString(picked->RichShare() * 100, 'f', 1));
        p.setFont(DesignFont(int(std::round(std::max(10.0, fp * 0.85))), true));
        p.setPen(Qt::white);
        p.drawText(bottomLine, Qt::AlignLeft | Qt::AlignVCenter, t);
    } else {
        p.setFont(small);
        p.setPen(Palette::LightOrange);
        QString legend = fullText ? CvTr("Each cell: share of the drive, mean valve position, mean lambda, share rich")
                         : text   ? CvTr("Each cell: share of the drive, mean lambda")
                                  : QString();
        if (map.Outside)
            legend += (legend.isEmpty() ? QString() : QStringLiteral(" · ")) +
                      CvTrN("%1 record outside every cell", "%1 records outside every cell", (unsigned long)map.Outside)
                          .arg(loc.toString(qulonglong(map.Outside)));
        p.drawText(bottomLine, Qt::AlignLeft | Qt::AlignVCenter, legend);
    }
}

void PaintHistograms(QPainter& p, QSizeF size, const sScene& scene) {
    const double fp = FontPixels(size);
    const QFont normal = DesignFont(int(std::round(fp)), false), bold = DesignFont(int(std::round(fp)), true);
    const QFontMetricsF fm(normal);
    p.fillRect(QRectF(QPointF(0, 0), size), Palette::Navy);
    const double top = fp * 2.0;
    Header(p, scene, fp * 5.5, fp * 0.2, fp * 1.4, size.width(), bold, QColor(Qt::white));
    if (scene.Records() == 0) {
        Empty(p, QRectF(QPointF(0, top), size), scene, fp);
        return;
    }
    const double w = size.width() / 2, h = (size.height() - top) / 2;
    const QLocale loc;
    for (int t = 0; t < Capture::TraceCount; ++t) {
        const QRectF cell(t % 2 * w, top + t / 2 * h, w, h);
        const QRectF r(cell.left() + fp * 5.5, cell.top() + fp * 1.8, cell.width() - fp * 6.5,
                       cell.height() - fp * 4.4);
        double lo, hi;
        TraceRange(t, scene, lo, hi);
        const int bins = std::clamp(int(r.width() / 8), 4, 64);
        struct sBars {
            Capture::sHistogram H;
            uint64_t Total = 0;
            QColor Colour;
            const Capture::sLoadedCapture* C;
        };
        std::vector<sBars> bars;
        for (const auto* c : {scene.Primary.get(), scene.Second.get()}) {
            if (!c) continue;
            const Capture::sRange range = scene.StatsRange(*c);
            // The top edge of the scale is part of the last bar.
            bars.push_back({Capture::BuildHistogram(c->Data, t, range, lo, hi, bins, true), range.Last - range.First,
                            c == scene.Primary.get() ? TraceLook(t).Color : SecondColor(), c});
        }
        double maxShare = 0;
        for (const auto& b : bars)
            for (uint64_t n : b.H.Counts) maxShare = std::max(maxShare, b.Total ? double(n) / double(b.Total) : 0);
        if (maxShare <= 0) maxShare = 1;
        p.fillRect(r, Qt::black);
        p.setPen(Palette::LightOrange);
        p.setFont(bold);
        QString title = Title(t);
        title += QStringLiteral(" · ") + (scene.Selection ? CvTr("selected range") : CvTr("whole drive"));
        p.drawText(QRectF(r.left(), cell.top() + fp * 0.2, r.width(), fp * 1.5), Qt::AlignLeft | Qt::AlignVCenter,
                   title);
        // Share axis in percent.
        p.setFont(normal);
        for (double v : NiceTicks(0, maxShare * 100, std::clamp(int(r.height() / (fm.height() * 1.5)), 2, 6))) {
            const double y = std::round(r.bottom() - v / (maxShare * 100) * r.height()) + 0.5;
            p.setPen(QPen(ViewerPalette::Grid, 0));
            p.drawLine(QPointF(r.left(), y), QPointF(r.right(), y));
            p.setPen(Qt::white);
            p.drawText(QRectF(cell.left(), y - fm.height() / 2, r.left() - cell.left() - fp * 0.4, fm.height()),
                       Qt::AlignRight | Qt::AlignVCenter, loc.toString(v, 'g', 3) + QStringLiteral(" %"));
        }
        ValueAxis(p, QRectF(r.left(), r.bottom(), r.width(), 0), false, t, lo, hi, normal, fp);
        const double bw = r.width() / bins;
        for (size_t k = 0; k < bars.size(); ++k) {
            const sBars& b = bars[k];
            for (int i = 0; i < bins; ++i) {
                const double share = b.Total ? double(b.H.Counts[size_t(i)]) / double(b.Total) : 0;
                if (share <= 0) continue;
                const double bh = std::max(1.0, share / maxShare * r.height());
                const QRectF bar(r.left() + i * bw, r.bottom() - bh, bw, bh);
                if (k == 0) p.fillRect(bar.adjusted(0.5, 0, -0.5, 0), b.Colour);
                else {
                    p.setPen(QPen(b.Colour, 2));
                    p.setBrush(Qt::NoBrush);
                    p.drawRect(bar.adjusted(1, 1, -1, 0));
                }
            }
            // The mean as a dashed line.
            const Capture::sRangeStats s =
                b.C->Pyramid[t].Query(scene.StatsRange(*b.C).First, scene.StatsRange(*b.C).Last);
            if (s.Count) {
                const double x = r.left() + (s.Mean() - lo) / (hi - lo) * r.width();
                p.setPen(QPen(k == 0 ? QColor(Qt::white) : SecondColor(), 1, Qt::DashLine));
                p.drawLine(QPointF(x, r.top()), QPointF(x, r.bottom()));
            }
        }
    }
}

}  // namespace Plot

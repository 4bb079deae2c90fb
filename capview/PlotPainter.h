// Paints one or two captures as four stacked traces sharing a horizontal
// axis, onto any painter: the viewer's window, a PNG image or an SVG
// drawing. Each pixel column shows the minimum and maximum of the records it
// covers, so the cost depends on the width, not on the capture's length.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include <QColor>
#include <QRectF>
#include <QSize>
#include <QString>

#include "analysis/DriveStats.h"
#include "analysis/LoadedCapture.h"

class QPainter;

namespace Plot {

enum class eCompare { Overlaid, Stacked };

// The views of a scene: the four traces over time, one channel against
// another, the speed x throttle map, the histograms of the channels.
enum class eKind { Time = 0, Scatter, Map, Histogram };

// What the map's cells are coloured by.
enum class eMapColour { Share = 0, Valve, Lambda, Rich };

// What the view shows: the records [First, First + Span) across the plot
// width, record i drawn at (i - First) / Span of the width.
struct sView {
    double First = 0;
    double Span = 1;
};
// The whole of a capture of `records` records; one shorter than minSpan is
// centred (its few points stand in the middle, not on the left edge).
sView FullView(size_t records, double minSpan);

struct sScene {
    std::shared_ptr<const Capture::sLoadedCapture> Primary;
    std::shared_ptr<const Capture::sLoadedCapture> Second;  // compared capture or none
    eCompare Compare = eCompare::Overlaid;
    sView View;
    double SecondsPerRecord = 0;                         // 0: the axis counts records
    std::optional<size_t> Cursor;                        // record index
    std::optional<std::pair<size_t, size_t>> Selection;  // records [first, last]
    QString EmptyText;                                   // shown when there is nothing to draw
    std::vector<size_t> Markers;                         // numbered markers (record indexes), number = position + 1

    eKind Kind = eKind::Time;
    int ScatterX = Capture::TraceRpm, ScatterY = Capture::TraceValve;
    int ScatterC = -1;                                   // colour channel, or none
    std::optional<std::pair<int, size_t>> Nearest;       // scatter readout: capture (0 or 1) and record
    std::optional<std::pair<int64_t, int64_t>> MapCell;  // map readout: rpm bin, tps bin
    Capture::sMapOptions Map;
    eMapColour MapColour = eMapColour::Rich;

    size_t Records() const;  // the longer capture's record count
    // The records the scatter plot, the map and the histograms take: the
    // selected range, or all of the capture.
    Capture::sRange StatsRange(const Capture::sLoadedCapture& c) const;
};

// Looks of one trace: title, unit, colour, default scale, decimals.
struct sTraceLook {
    const char* Title;  // catalogue key
    const char* Unit;   // catalogue key, may be empty
    QColor Color;
    double Lo, Hi;  // scale shown at least
    int Decimals;
};
const sTraceLook& TraceLook(int trace);
// The colour of the compared capture's traces when overlaid.
QColor SecondColor();

// The vertical range of a trace: the default scale widened to the values of
// both captures, rounded out to whole steps.
void TraceRange(int trace, const sScene& scene, double& lo, double& hi);
// Tick values from lo to hi at a round step (1, 2 or 5 times a power of ten)
// with at most `maxTicks` ticks.
std::vector<double> NiceTicks(double lo, double hi, int maxTicks);
// The horizontal axis text of record index i (0-based): "1", "2", ... or,
// with seconds per record, the time since the first record ("0:07.5",
// "1:02:03").
QString AxisText(double index, double secondsPerRecord);
// A value with the trace's decimals and the user's decimal separator; from
// LongValue on in six significant digits with an exponent ("3.40282e+38").
inline constexpr double LongValue = 1e7;
QString ValueText(int trace, double value);

// Where things are for a given size and number of trace panels.
struct sLayout {
    QRectF Plot;                 // the horizontal extent of all traces
    std::vector<QRectF> Panels;  // one per trace panel, top to bottom
    std::vector<QRectF> Infos;   // the box beside each panel
    QRectF Axis;                 // the horizontal axis labels
};
sLayout Layout(QSizeF size, int panels, double fontPixels);

// The font size the painter uses for a plot of this size.
double FontPixels(QSizeF size);

// Paints the scene into the rectangle (0, 0, size).
void Paint(QPainter& p, QSizeF size, const sScene& scene);

// The other views (see ChartPainter.cpp).
void PaintScatter(QPainter& p, QSizeF size, const sScene& scene);
void PaintMap(QPainter& p, QSizeF size, const sScene& scene);
void PaintHistograms(QPainter& p, QSizeF size, const sScene& scene);

// Where the scatter plot is: the plot rectangle and the value ranges of its
// axes, for mouse handling.
struct sScatterFrame {
    QRectF Plot;
    double XLo = 0, XHi = 1, YLo = 0, YHi = 1;
};
sScatterFrame ScatterFrame(QSizeF size, const sScene& scene);

// The map cell under a point of the map view: false outside the cells.
bool MapCellAt(QSizeF size, const sScene& scene, QPointF at, int64_t& rpmBin, int64_t& tpsBin);

// The text of the difference between two markers: records and, with a time
// axis, seconds.
QString MarkerDifference(const sScene& scene, size_t a, size_t b);

// Record index under plot x (clamped to the plot), for mouse handling.
double IndexAt(const sLayout& layout, const sView& view, double x);

}  // namespace Plot

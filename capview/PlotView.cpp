#include "capview/PlotView.h"

#include <algorithm>
#include <cmath>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

cPlotView::cPlotView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(320, 240);
}

void cPlotView::SetCaptures(std::shared_ptr<const Capture::sLoadedCapture> primary,
                            std::shared_ptr<const Capture::sLoadedCapture> second) {
    const bool same = primary == Scene_.Primary && second == Scene_.Second;
    Scene_.Primary = std::move(primary);
    Scene_.Second = std::move(second);
    if (!same) {
        Scene_.Selection.reset();
        Scene_.Cursor.reset();
        Scene_.Markers.clear();
        Scene_.Nearest.reset();
        Scene_.MapCell.reset();
        ShowAll();
    }
    update();
}

void cPlotView::ReplaceCaptures(std::shared_ptr<const Capture::sLoadedCapture> primary,
                                std::shared_ptr<const Capture::sLoadedCapture> second) {
    const double before = double(Scene_.Records());
    const bool atEnd = Scene_.View.First + Scene_.View.Span >= before - 0.5;
    const bool all = Scene_.View.First <= 0 && atEnd;
    Scene_.Primary = std::move(primary);
    Scene_.Second = std::move(second);
    const double n = double(Scene_.Records());
    if (all) ShowAll();
    else if (atEnd) SetView(n - Scene_.View.Span, Scene_.View.Span);
    else Clamp();
    if (Scene_.Cursor && *Scene_.Cursor >= Scene_.Records()) Scene_.Cursor.reset();
    if (Scene_.Selection && Scene_.Selection->second >= Scene_.Records()) Scene_.Selection.reset();
    update();
}

void cPlotView::SetKind(Plot::eKind kind) {
    Scene_.Kind = kind;
    Scene_.Nearest.reset();
    Scene_.MapCell.reset();
    update();
}

void cPlotView::SetScatter(int x, int y, int colour) {
    Scene_.ScatterX = x;
    Scene_.ScatterY = y;
    Scene_.ScatterC = colour;
    update();
}

void cPlotView::SetMap(const Capture::sMapOptions& options, Plot::eMapColour colour) {
    if (Capture::MapOptionsValid(options)) Scene_.Map = options;
    Scene_.MapColour = colour;
    update();
}

void cPlotView::AddMarker() {
    if (Scene_.Records() == 0) return;
    const size_t at = Scene_.Cursor ? *Scene_.Cursor : size_t(std::max(0.0, Scene_.View.First + Scene_.View.Span / 2));
    Scene_.Markers.push_back(std::min(at, Scene_.Records() - 1));
    update();
    emit CursorMoved();
}

void cPlotView::ClearMarkers() {
    Scene_.Markers.clear();
    update();
    emit CursorMoved();
}

void cPlotView::PickNearest(QPointF at) {
    const Plot::sScatterFrame f = Plot::ScatterFrame(QSizeF(size()), Scene_);
    if (!f.Plot.contains(at) || f.Plot.width() < 1 || f.Plot.height() < 1) return;
    const double xs = (f.XHi - f.XLo) / f.Plot.width(), ys = (f.YHi - f.YLo) / f.Plot.height();
    const double x = f.XLo + (at.x() - f.Plot.left()) * xs, y = f.YLo + (f.Plot.bottom() - at.y()) * ys;
    std::optional<std::pair<int, size_t>> best;
    double bestD = 0;
    int which = 0;
    for (const auto* c : {Scene_.Primary.get(), Scene_.Second.get()}) {
        if (c) {
            const size_t i =
                Capture::NearestRecord(c->Data, Scene_.ScatterX, Scene_.ScatterY, Scene_.StatsRange(*c), x, y, xs, ys);
            if (i != SIZE_MAX) {
                const double dx = (c->Data.Value(Scene_.ScatterX, i) - x) / xs,
                             dy = (c->Data.Value(Scene_.ScatterY, i) - y) / ys;
                const double d = dx * dx + dy * dy;
                if (!best || d < bestD) {
                    best = std::make_pair(which, i);
                    bestD = d;
                }
            }
        }
        ++which;
    }
    if (best != Scene_.Nearest) {
        Scene_.Nearest = best;
        update();
    }
}

void cPlotView::StepNearest(long long by) {
    if (!Scene_.Primary || Scene_.Primary->Records() == 0) return;
    const Capture::sRange r = Scene_.StatsRange(*Scene_.Primary);
    if (r.First >= r.Last) return;
    long long i =
        Scene_.Nearest && Scene_.Nearest->first == 0 ? (long long)Scene_.Nearest->second + by : (long long)r.First;
    i = std::clamp(i, (long long)r.First, (long long)r.Last - 1);
    Scene_.Nearest = std::make_pair(0, size_t(i));
    update();
}

void cPlotView::MoveMapCell(int dRpm, int dTps) {
    if (!Scene_.Primary) return;
    if (!Scene_.MapCell) {
        // Start at the busiest cell.
        const Capture::sDriveMap map =
            Capture::BuildDriveMap(Scene_.Primary->Data, Scene_.StatsRange(*Scene_.Primary), Scene_.Map);
        const Capture::sMapCell* best = nullptr;
        for (const auto& c : map.Cells)
            if (!best || c.Records > best->Records) best = &c;
        if (best) Scene_.MapCell = std::make_pair(best->RpmBin, best->TpsBin);
    } else {
        Scene_.MapCell->first = std::max<int64_t>(0, Scene_.MapCell->first + dRpm);
        Scene_.MapCell->second = std::max<int64_t>(0, Scene_.MapCell->second + dTps);
    }
    update();
}

void cPlotView::SetCompare(Plot::eCompare mode) {
    Scene_.Compare = mode;
    update();
}

void cPlotView::SetSecondsPerRecord(double seconds) {
    Scene_.SecondsPerRecord = std::max(0.0, seconds);
    update();
}

void cPlotView::SetEmptyText(const QString& text) {
    Scene_.EmptyText = text;
    update();
}

void cPlotView::Clamp() {
    const double n = double(Scene_.Records());
    const double maxSpan = std::max(n, MinSpan);
    Scene_.View.Span = std::clamp(Scene_.View.Span, std::min(MinSpan, maxSpan), maxSpan);
    if (n < Scene_.View.Span) Scene_.View.First = Plot::FullView(Scene_.Records(), Scene_.View.Span).First;
    else Scene_.View.First = std::clamp(Scene_.View.First, 0.0, n - Scene_.View.Span);
}

void cPlotView::SetView(double first, double span) {
    Scene_.View = {first, span};
    Clamp();
    update();
}

void cPlotView::ShowAll() {
    const Plot::sView v = Plot::FullView(Scene_.Records(), MinSpan);
    SetView(v.First, v.Span);
}

void cPlotView::Zoom(double factor, double anchor) {
    const Plot::sView v = Scene_.View;
    const double span = v.Span * factor;
    const double rel = v.Span > 0 ? (anchor - v.First) / v.Span : 0.5;
    SetView(anchor - rel * span, span);
}

void cPlotView::Pan(double records) { SetView(Scene_.View.First + records, Scene_.View.Span); }

void cPlotView::SetCursor(std::optional<size_t> record) {
    if (record && Scene_.Records() == 0) record.reset();
    if (record) record = std::min(*record, Scene_.Records() - 1);
    if (record == Scene_.Cursor) return;
    Scene_.Cursor = record;
    update();
    emit CursorMoved();
}

void cPlotView::SetSelection(size_t a, size_t b) {
    if (Scene_.Records() == 0) return;
    if (a > b) std::swap(a, b);
    b = std::min(b, Scene_.Records() - 1);
    a = std::min(a, b);
    Scene_.Selection = std::make_pair(a, b);
    update();
    emit SelectionChanged();
}

void cPlotView::ClearSelection() {
    if (!Scene_.Selection) return;
    Scene_.Selection.reset();
    update();
    emit SelectionChanged();
}

Plot::sLayout cPlotView::CurrentLayout() const {
    const int panels = Scene_.Second && Scene_.Compare == Plot::eCompare::Stacked ? 8 : 4;
    return Plot::Layout(QSizeF(size()), panels, Plot::FontPixels(QSizeF(size())));
}

double cPlotView::IndexAtX(double x) const { return Plot::IndexAt(CurrentLayout(), Scene_.View, x); }

void cPlotView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    Plot::Paint(p, QSizeF(size()), Scene_);
}

void cPlotView::wheelEvent(QWheelEvent* e) {
    if (Scene_.Kind != Plot::eKind::Time) return;
    const double steps = e->angleDelta().y() / 120.0;
    if (steps == 0) {
        // A horizontal wheel or touchpad swipe pans.
        Pan(-e->angleDelta().x() / 120.0 * Scene_.View.Span / 10);
        return;
    }
    Zoom(std::pow(0.8, steps), IndexAtX(e->position().x()));
}

void cPlotView::mousePressEvent(QMouseEvent* e) {
    setFocus();
    if (Scene_.Kind != Plot::eKind::Time) return;
    DragX = e->position().x();
    DragFirst = Scene_.View.First;
    const bool select =
        e->button() == Qt::RightButton || (e->button() == Qt::LeftButton && (e->modifiers() & Qt::ShiftModifier));
    if (select && Scene_.Records()) {
        Drag = eDrag::Select;
        DragAnchor = size_t(std::max(0.0, std::floor(IndexAtX(DragX))));
        SetSelection(DragAnchor, DragAnchor);
    } else if (e->button() == Qt::LeftButton) {
        Drag = eDrag::Pan;
        setCursor(Qt::ClosedHandCursor);
    }
}

void cPlotView::mouseMoveEvent(QMouseEvent* e) {
    if (Scene_.Kind == Plot::eKind::Scatter) {
        PickNearest(e->position());
        return;
    }
    if (Scene_.Kind == Plot::eKind::Map) {
        int64_t r = 0, t = 0;
        if (Plot::MapCellAt(QSizeF(size()), Scene_, e->position(), r, t) && Scene_.MapCell != std::make_pair(r, t)) {
            Scene_.MapCell = std::make_pair(r, t);
            update();
        }
        return;
    }
    if (Scene_.Kind != Plot::eKind::Time) return;
    const double x = e->position().x();
    if (Drag == eDrag::Pan) {
        const Plot::sLayout l = CurrentLayout();
        const double perPixel = Scene_.View.Span / std::max(l.Plot.width(), 1.0);
        SetView(DragFirst - (x - DragX) * perPixel, Scene_.View.Span);
    } else if (Drag == eDrag::Select) {
        SetSelection(DragAnchor, size_t(std::max(0.0, std::floor(IndexAtX(x)))));
    }
    if (Scene_.Records()) SetCursor(size_t(std::max(0.0, std::floor(IndexAtX(x) + 0.5))));
}

void cPlotView::mouseReleaseEvent(QMouseEvent*) {
    Drag = eDrag::None;
    unsetCursor();
}

void cPlotView::leaveEvent(QEvent*) {}

void cPlotView::keyPressEvent(QKeyEvent* e) {
    const Plot::sView v = Scene_.View;
    const double centre = Scene_.Cursor ? double(*Scene_.Cursor) : v.First + v.Span / 2;
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    if (e->key() == Qt::Key_M) {
        if (shift) ClearMarkers();
        else AddMarker();
        e->accept();
        return;
    }
    if (e->key() == Qt::Key_S && Scene_.Markers.size() >= 2) {
        // The range between the last two markers becomes the selection (for
        // the statistics, the other views and F6).
        const size_t n = Scene_.Markers.size();
        SetSelection(Scene_.Markers[n - 2], Scene_.Markers[n - 1]);
        e->accept();
        return;
    }
    if (Scene_.Kind == Plot::eKind::Scatter || Scene_.Kind == Plot::eKind::Map) {
        const bool scatter = Scene_.Kind == Plot::eKind::Scatter;
        switch (e->key()) {
        case Qt::Key_Left: scatter ? StepNearest(-1) : MoveMapCell(-1, 0); break;
        case Qt::Key_Right: scatter ? StepNearest(1) : MoveMapCell(1, 0); break;
        case Qt::Key_Up: scatter ? StepNearest(-100) : MoveMapCell(0, 1); break;
        case Qt::Key_Down: scatter ? StepNearest(100) : MoveMapCell(0, -1); break;
        case Qt::Key_PageUp:
            if (scatter) StepNearest(-1000);
            break;
        case Qt::Key_PageDown:
            if (scatter) StepNearest(1000);
            break;
        case Qt::Key_Escape:
            if (Scene_.Selection) ClearSelection();
            else e->ignore();
            return;
        default: QWidget::keyPressEvent(e); return;
        }
        e->accept();
        return;
    }
    if (Scene_.Kind != Plot::eKind::Time) {
        if (e->key() == Qt::Key_Escape && Scene_.Selection) ClearSelection();
        else QWidget::keyPressEvent(e);
        return;
    }
    switch (e->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal: Zoom(0.5, centre); break;
    case Qt::Key_Minus:
    case Qt::Key_Underscore: Zoom(2.0, centre); break;
    case Qt::Key_Left:
        if (shift)
            SetCursor(Scene_.Cursor ? (*Scene_.Cursor ? *Scene_.Cursor - 1 : 0) : size_t(std::max(0.0, v.First)));
        else Pan(-v.Span / 10);
        break;
    case Qt::Key_Right:
        if (shift) SetCursor(Scene_.Cursor ? *Scene_.Cursor + 1 : size_t(std::max(0.0, v.First)));
        else Pan(v.Span / 10);
        break;
    case Qt::Key_PageUp: Pan(-v.Span); break;
    case Qt::Key_PageDown: Pan(v.Span); break;
    case Qt::Key_Home: ShowAll(); break;
    case Qt::Key_Escape:
        if (Scene_.Selection) ClearSelection();
        else e->ignore();
        return;
    default: QWidget::keyPressEvent(e); return;
    }
    e->accept();
}

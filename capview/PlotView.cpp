#include "capview/PlotView.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

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
        ShowAll();
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
    Scene_.View.First = std::clamp(Scene_.View.First, 0.0, std::max(0.0, n - Scene_.View.Span));
}

void cPlotView::SetView(double first, double span) {
    Scene_.View = {first, span};
    Clamp();
    update();
}

void cPlotView::ShowAll() { SetView(0, std::max<double>(double(Scene_.Records()), MinSpan)); }

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
    DragX = e->position().x();
    DragFirst = Scene_.View.First;
    const bool select = e->button() == Qt::RightButton ||
                        (e->button() == Qt::LeftButton && (e->modifiers() & Qt::ShiftModifier));
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
    switch (e->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        Zoom(0.5, centre);
        break;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
        Zoom(2.0, centre);
        break;
    case Qt::Key_Left:
        if (shift) SetCursor(Scene_.Cursor ? (*Scene_.Cursor ? *Scene_.Cursor - 1 : 0) : size_t(v.First));
        else Pan(-v.Span / 10);
        break;
    case Qt::Key_Right:
        if (shift) SetCursor(Scene_.Cursor ? *Scene_.Cursor + 1 : size_t(v.First));
        else Pan(v.Span / 10);
        break;
    case Qt::Key_PageUp:
        Pan(-v.Span);
        break;
    case Qt::Key_PageDown:
        Pan(v.Span);
        break;
    case Qt::Key_Home:
        ShowAll();
        break;
    case Qt::Key_Escape:
        if (Scene_.Selection) ClearSelection();
        else e->ignore();
        return;
    default:
        QWidget::keyPressEvent(e);
        return;
    }
    e->accept();
}

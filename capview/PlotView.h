// The plot widget of the viewer: paints the scene with Plot::Paint and turns
// wheel, mouse and keys into zoom, pan, cursor and range selection.
//   wheel: zoom around the mouse; drag: pan; Shift+drag or right drag: select
//   a range; mouse move: cursor; + and -: zoom; Left/Right: pan;
//   Shift+Left/Right: move the cursor by one record; Home: show everything;
//   Esc: clear the selection; M: set the next numbered marker at the cursor,
//   Shift+M: remove the markers; S: select the range between the last two
//   markers.
// In the scatter view the mouse (or Left/Right, PageUp/PageDown) picks the
// record whose values are read out; in the map view the mouse or the arrow
// keys pick the cell.
#pragma once

#include <optional>

#include <QWidget>

#include "capview/PlotPainter.h"

class cPlotView : public QWidget {
    Q_OBJECT
public:
    explicit cPlotView(QWidget* parent = nullptr);

    void SetCaptures(std::shared_ptr<const Capture::sLoadedCapture> primary,
                     std::shared_ptr<const Capture::sLoadedCapture> second);
    void SetCompare(Plot::eCompare mode);
    void SetSecondsPerRecord(double seconds);
    void SetEmptyText(const QString& text);
    void SetKind(Plot::eKind kind);
    void SetScatter(int x, int y, int colour);
    void SetMap(const Capture::sMapOptions& options, Plot::eMapColour colour);
    // A newer state of the shown captures (a followed file that grew):
    // cursor, selection and markers stay; a view that showed the end keeps
    // showing the end.
    void ReplaceCaptures(std::shared_ptr<const Capture::sLoadedCapture> primary,
                         std::shared_ptr<const Capture::sLoadedCapture> second);
    void AddMarker();
    void ClearMarkers();

    const Plot::sScene& Scene() const { return Scene_; }
    // Zoom by `factor` (below 1 zooms in) keeping record `anchor` in place.
    void Zoom(double factor, double anchor);
    void Pan(double records);
    void ShowAll();
    void SetView(double first, double span);
    void SetCursor(std::optional<size_t> record);
    void SetSelection(size_t a, size_t b);
    void ClearSelection();

    // The smallest span shown: a few records across the whole width.
    static constexpr double MinSpan = 8;

signals:
    void CursorMoved();
    void SelectionChanged();

protected:
    void paintEvent(QPaintEvent*) override;
    void wheelEvent(QWheelEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void leaveEvent(QEvent* e) override;

private:
    Plot::sScene Scene_;
    enum class eDrag { None, Pan, Select } Drag = eDrag::None;
    double DragX = 0, DragFirst = 0;
    size_t DragAnchor = 0;

    Plot::sLayout CurrentLayout() const;
    double IndexAtX(double x) const;
    void Clamp();
    void PickNearest(QPointF at);
    void StepNearest(long long by);
    void MoveMapCell(int dRpm, int dTps);
};

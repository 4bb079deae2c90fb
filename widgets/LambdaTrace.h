// The scrolling lambda chart: exactly 50 points drawn as a white line, a left
// axis titled "Lambda" with labels in the pattern "#,##0.# V" every increment,
// and a bottom axis without labels that follows the last point. Each new
// point drops the oldest one. It repaints only when the picture changes.
#pragma once

#include <array>
#include <vector>

#include <QLocale>
#include <QPixmap>
#include <QString>
#include <QWidget>

// The points of the trace, independent of painting.
class cTracePoints {
public:
    static constexpr int Count = 50;

    cTracePoints();  // x = 0..49, y = 0

    // Drops the first point and appends (last x + 1, y held within lo..hi).
    // True when the picture changes (false only when the line was flat at the
    // same height before and after).
    bool Push(double y, double lo, double hi);

    double X(int i) const { return FirstX + i; }
    double Y(int i) const { return Ys[(Head + i) % Count]; }
    double LastX() const { return FirstX + Count - 1; }
    // The bottom axis: from the last x minus 50 to the last x.
    double AxisFrom() const { return LastX() - Count; }
    double AxisTo() const { return LastX(); }

private:
    std::array<double, Count> Ys{};
    int Head = 0;
    double FirstX = 0;
    int FlatRun = Count;  // how many of the last points share the last y
};

class cLambdaTrace : public QWidget {
    Q_OBJECT
public:
    explicit cLambdaTrace(QWidget* parent = nullptr);

    // Left axis range and label increment (0 to 1 V by 0.2 at start).
    void SetAxis(double minimum, double maximum, double increment);
    void SetTitle(const QString& title);
    // Appends one sample; see cTracePoints::Push.
    void AddPoint(double y);

    const cTracePoints& Points() const { return Trace; }
    double AxisMin() const { return Lo; }
    double AxisMax() const { return Hi; }
    double AxisIncrement() const { return Inc; }
    int RepaintRequests() const { return Requests; }

    // A label of the left axis: at most one decimal, thousands grouped, " V".
    static QString AxisLabel(double v, const QLocale& locale = QLocale());

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    cTracePoints Trace;
    double Lo = 0, Hi = 1, Inc = 0.2;
    QString Title = QStringLiteral("Lambda");
    int Requests = 0;
    QPixmap Axes;  // everything but the line, drawn at the current size

    std::vector<double> AxisLabels() const;
    QRectF PlotRect() const;
    void DrawAxes(QPainter& p, const QRectF& plot) const;
};

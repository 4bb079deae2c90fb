// A round dial from a minimum to a maximum (0..8 by default) with a label at
// every whole step, three coloured zones along the rim given as spans in
// percent of the scale, a needle and a caption below the centre whose "|"
// starts a new line ("RPM|x 1000"). It repaints only when something it shows
// changes.
#pragma once

#include <array>

#include <QColor>
#include <QPixmap>
#include <QPointF>
#include <QString>
#include <QWidget>

#include "widgets/Palette.h"

class cDialGauge : public QWidget {
    Q_OBJECT
public:
    explicit cDialGauge(QWidget* parent = nullptr);

    void SetScale(double min, double max, int labels);
    // Zone 1 starts at the scale minimum, zone 2 follows it, zone 3 takes the
    // rest. Spans are whole percent; together they are kept at 100 or less.
    void SetZones(int span1, int span2);
    void SetZoneColors(const QColor& c1, const QColor& c2, const QColor& c3);
    void SetCaption(const QString& caption);
    void SetValue(double value);

    double Value() const { return Val; }
    int Zone1Span() const { return Span1; }
    int Zone2Span() const { return Span2; }
    QString Caption() const { return CaptionText; }
    int RepaintRequests() const { return Requests; }

    // --- dial maths, independent of painting ---
    static constexpr double StartAngle = 225.0;  // degrees, at the scale minimum
    static constexpr double SweepAngle = 270.0;  // clockwise to the maximum
    // The needle position held within the scale.
    static double Held(double v, double min, double max);
    // Angle in degrees (counter-clockwise from 3 o'clock) of a value.
    static double AngleOf(double v, double min, double max);
    // The two spans made valid: each 0..100, the second cut so that the sum
    // stays at 100 or less.
    static std::array<int, 2> ValidSpans(int span1, int span2);
    // The caption split into its lines at "|".
    static QStringList CaptionLines(const QString& caption);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    double Min = 0, Max = 8;
    int Labels = 8;
    int Span1 = 25, Span2 = 50;
    std::array<QColor, 3> Colors{Palette::Yellow, QColor(0, 200, 0), Palette::Red};
    QString CaptionText;
    double Val = 0;
    int Requests = 0;
    QPixmap Face;  // everything but the needle, drawn at the current size
    void Changed(bool face);
    void DrawFace(QPainter& p) const;
    static double BandWidth(double r);
};

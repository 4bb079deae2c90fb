// A straight gauge (vertical or horizontal): a scale with labels every step,
// three coloured regions, and the value shown either as a pointer or as a bar.
// It repaints only when something it shows changes.
#pragma once

#include <array>
#include <vector>

#include <QColor>
#include <QPixmap>
#include <QString>
#include <QWidget>

#include "widgets/Palette.h"

class cLineGauge : public QWidget {
    Q_OBJECT
public:
    enum class eStyle { Pointer, Bar };

    explicit cLineGauge(Qt::Orientation orientation = Qt::Vertical, QWidget* parent = nullptr);

    void SetStyle(eStyle style);
    // Scale range, label step and tick step between labels (0: none).
    void SetScale(double min, double max, double step, double smallStep = 0);
    void SetScaleMin(double min);
    // Region 1 runs from its start to the start of region 2, region 2 to the
    // start of region 3, region 3 to the scale maximum.
    void SetRegion1Start(double v);
    void SetRegion2Start(double v);
    void SetRegion3Start(double v);
    void SetRegionColors(const QColor& c1, const QColor& c2, const QColor& c3);
    // Label pattern: "%s" stands for the number, "%%" for a percent sign.
    void SetLabelFormat(const QString& format);
    // Captions: one in the middle (horizontal gauges: above the scale) and one
    // at each end (horizontal: below the left and right ends).
    void SetCaptions(const QString& title, const QString& minText, const QString& maxText);
    void SetValue(double value);

    double Value() const { return Val; }
    double ScaleMin() const { return Min; }
    double ScaleMax() const { return Max; }
    double Region1Start() const { return R1; }
    double Region2Start() const { return R2; }
    double Region3Start() const { return R3; }
    QString LabelFormat() const { return Format; }
    int RepaintRequests() const { return Requests; }

    // --- scale maths, independent of painting ---
    struct sSpan {
        double From, To;
        bool operator==(const sSpan&) const = default;
    };
    // Fraction of the scale at v, held within 0..1 (0 for an empty scale).
    static double Fraction(double v, double min, double max);
    // Label positions: min, min + step, ... up to max (at most 1000).
    static std::vector<double> Ticks(double min, double max, double step);
    // The label of a value: the number in its shortest form put into the pattern.
    static QString LabelText(const QString& format, double value);
    // The three regions held within the scale and in order (an empty region
    // has From == To).
    static std::array<sSpan, 3> RegionSpans(double min, double max, double r1, double r2, double r3);

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    template <class T>
    void Change(T& field, const T& value);

    Qt::Orientation Orient;
    eStyle Style = eStyle::Pointer;
    double Min = 0, Max = 100, Step = 20, SmallStep = 0;
    double R1 = 0, R2 = 0, R3 = 0;
    std::array<QColor, 3> Colors{Palette::Red, Palette::Yellow, Palette::Green};
    QString Format = QStringLiteral("%s");
    QString Title, MinText, MaxText;
    double Val = 0;
    int Requests = 0;
    QPixmap Scale;  // everything but the value, drawn at the current size

    QRectF TrackRect() const;
    double PosOf(const QRectF& track, double v) const;
    QRectF PartOf(const QRectF& track, double from, double to) const;
    void DrawScale(QPainter& p, const QRectF& track) const;
};

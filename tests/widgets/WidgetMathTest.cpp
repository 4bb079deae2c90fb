// Scale, region and trace maths of the gauges, and their repaint discipline:
// a widget asks for a repaint only when what it shows changes.
#include <gtest/gtest.h>

#include "widgets/DialGauge.h"
#include "widgets/LambdaTrace.h"
#include "widgets/Lamp.h"
#include "widgets/LineGauge.h"

using Span = cLineGauge::sSpan;

TEST(LineGaugeMath, FractionIsHeldWithinTheScale) {
    EXPECT_DOUBLE_EQ(cLineGauge::Fraction(50, 0, 100), 0.5);
    EXPECT_DOUBLE_EQ(cLineGauge::Fraction(-5, 0, 100), 0.0);
    EXPECT_DOUBLE_EQ(cLineGauge::Fraction(300, 0, 255), 1.0);
    EXPECT_DOUBLE_EQ(cLineGauge::Fraction(10, 5, 5), 0.0);  // empty scale
}

TEST(LineGaugeMath, TicksEveryStepIncludingBothEnds) {
    EXPECT_EQ(cLineGauge::Ticks(0, 100, 20), (std::vector<double>{0, 20, 40, 60, 80, 100}));
    EXPECT_EQ(cLineGauge::Ticks(0, 255, 50), (std::vector<double>{0, 50, 100, 150, 200, 250}));
    EXPECT_EQ(cLineGauge::Ticks(0, 255, 25).size(), 11u);
    EXPECT_EQ(cLineGauge::Ticks(0, 1, 0.2).size(), 6u);  // rounding must not drop the last label
    EXPECT_EQ(cLineGauge::Ticks(0, 10, 0), (std::vector<double>{0, 10}));
    EXPECT_TRUE(cLineGauge::Ticks(10, 0, 1).empty());
    EXPECT_LE(cLineGauge::Ticks(0, 1e9, 1).size(), 1001u);
}

TEST(LineGaugeMath, LabelPattern) {
    EXPECT_EQ(cLineGauge::LabelText("%s%%", 40), "40%");
    EXPECT_EQ(cLineGauge::LabelText("%s", 250), "250");
    EXPECT_EQ(cLineGauge::LabelText("%s%%", 12.5), "12.5%");
    EXPECT_EQ(cLineGauge::LabelText("%", 1), "%");
}

TEST(LineGaugeMath, RegionsAreHeldWithinTheScaleAndInOrder) {
    // The throttle gauge: region 1 empty, yellow to the boundary, lime above.
    auto s = cLineGauge::RegionSpans(0, 100, 0, 0, 39.6);
    EXPECT_EQ(s[0], (Span{0, 0}));
    EXPECT_EQ(s[1], (Span{0, 39.6}));
    EXPECT_EQ(s[2], (Span{39.6, 100}));
    // The valve gauge with the default positions.
    s = cLineGauge::RegionSpans(0, 255, 0, 50, 150);
    EXPECT_EQ(s[0], (Span{0, 50}));
    EXPECT_EQ(s[1], (Span{50, 150}));
    EXPECT_EQ(s[2], (Span{150, 255}));
    // A maximum below the minimum: region 2 is empty, nothing is drawn twice.
    s = cLineGauge::RegionSpans(0, 255, 0, 150, 50);
    EXPECT_EQ(s[1], (Span{150, 150}));
    EXPECT_EQ(s[2], (Span{150, 255}));
    // Starts outside the scale.
    s = cLineGauge::RegionSpans(0, 100, -20, 120, 300);
    EXPECT_EQ(s[0], (Span{0, 100}));
    EXPECT_EQ(s[2], (Span{100, 100}));
}

TEST(DialGaugeMath, NeedleIsHeldAtTheEndsOfTheScale) {
    EXPECT_DOUBLE_EQ(cDialGauge::Held(54.0, 0, 8), 8.0);
    EXPECT_DOUBLE_EQ(cDialGauge::Held(-1, 0, 8), 0.0);
    EXPECT_DOUBLE_EQ(cDialGauge::AngleOf(0, 0, 8), cDialGauge::StartAngle);
    EXPECT_DOUBLE_EQ(cDialGauge::AngleOf(8, 0, 8), cDialGauge::StartAngle - cDialGauge::SweepAngle);
    EXPECT_DOUBLE_EQ(cDialGauge::AngleOf(4, 0, 8), 90.0);  // straight up
    EXPECT_DOUBLE_EQ(cDialGauge::AngleOf(100, 0, 8), cDialGauge::AngleOf(8, 0, 8));
}

TEST(DialGaugeMath, ZoneSpansStayWithinTheDial) {
    EXPECT_EQ(cDialGauge::ValidSpans(25, 50), (std::array<int, 2>{25, 50}));
    EXPECT_EQ(cDialGauge::ValidSpans(25, 75), (std::array<int, 2>{25, 75}));  // no red zone
    EXPECT_EQ(cDialGauge::ValidSpans(75, 50), (std::array<int, 2>{75, 25}));
    EXPECT_EQ(cDialGauge::ValidSpans(250, 10), (std::array<int, 2>{100, 0}));
    EXPECT_EQ(cDialGauge::ValidSpans(30, -20), (std::array<int, 2>{30, 0}));  // maximum below minimum
    EXPECT_EQ(cDialGauge::CaptionLines("RPM|x 1000"), (QStringList{"RPM", "x 1000"}));
}

TEST(TracePoints, FiftyPointsScrollingByOne) {
    cTracePoints t;
    EXPECT_DOUBLE_EQ(t.X(0), 0);
    EXPECT_DOUBLE_EQ(t.LastX(), 49);
    t.Push(0.5, 0, 1);
    EXPECT_DOUBLE_EQ(t.X(0), 1);
    EXPECT_DOUBLE_EQ(t.LastX(), 50);
    EXPECT_DOUBLE_EQ(t.Y(cTracePoints::Count - 1), 0.5);
    EXPECT_DOUBLE_EQ(t.AxisFrom(), 0);
    EXPECT_DOUBLE_EQ(t.AxisTo(), 50);
    // Held within the axis.
    t.Push(1.18, 0, 1);
    EXPECT_DOUBLE_EQ(t.Y(49), 1.0);
    t.Push(0.5, 0.8, 1.6);
    EXPECT_DOUBLE_EQ(t.Y(49), 0.8);
    for (int i = 0; i < 200; ++i) t.Push(i, 0, 1000);
    EXPECT_DOUBLE_EQ(t.Y(0), 150);
    EXPECT_DOUBLE_EQ(t.Y(49), 199);
}

TEST(TracePoints, PictureChangesUnlessTheLineStaysFlat) {
    cTracePoints t;
    EXPECT_FALSE(t.Push(0, 0, 1));  // flat zero line, nothing moves
    EXPECT_TRUE(t.Push(0.4, 0, 1));
    for (int i = 0; i < 48; ++i) EXPECT_TRUE(t.Push(0.4, 0, 1)) << i;
    EXPECT_TRUE(t.Push(0.4, 0, 1));  // the last old point leaves: the line becomes flat
    EXPECT_FALSE(t.Push(0.4, 0, 1));
    EXPECT_FALSE(t.Push(2.0, 0, 0.4));  // held to the same height
}

TEST(LambdaTraceLabels, PatternWithOneDecimalAtMost) {
    QLocale c(QLocale::C);
    EXPECT_EQ(cLambdaTrace::AxisLabel(0, c), "0 V");
    EXPECT_EQ(cLambdaTrace::AxisLabel(0.2, c), "0.2 V");
    EXPECT_EQ(cLambdaTrace::AxisLabel(0.8 + 0.2 * 3, c), "1.4 V");
    EXPECT_EQ(cLambdaTrace::AxisLabel(5, c), "5 V");
    EXPECT_EQ(cLambdaTrace::AxisLabel(0.2, QLocale(QLocale::German)), "0,2 V");
}

// Widgets: a repaint is requested only on a change.
TEST(WidgetRepaint, OnlyOnChange) {
    cLineGauge g;
    int before = g.RepaintRequests();
    g.SetValue(0);
    g.SetRegion1Start(0);
    EXPECT_EQ(g.RepaintRequests(), before);
    g.SetValue(20);
    EXPECT_EQ(g.RepaintRequests(), before + 1);
    g.SetValue(20);
    EXPECT_EQ(g.RepaintRequests(), before + 1);

    cDialGauge d;
    d.SetValue(9);  // needle at the end
    int dn = d.RepaintRequests();
    d.SetValue(54);  // still at the end: nothing to redraw
    EXPECT_EQ(d.RepaintRequests(), dn);
    d.SetZones(25, 50);
    EXPECT_EQ(d.RepaintRequests(), dn);

    cLamp l(cLamp::RedLit(), cLamp::RedDark());
    EXPECT_EQ(l.Color(), QColor(0x80, 0, 0));
    l.SetLit(false);
    EXPECT_EQ(l.RepaintRequests(), 0);
    l.SetLit(true);
    EXPECT_EQ(l.Color(), QColor(0xFF, 0, 0));
    EXPECT_EQ(l.RepaintRequests(), 1);

    cLambdaTrace t;
    t.AddPoint(0);
    EXPECT_EQ(t.RepaintRequests(), 0);
    t.AddPoint(0.3);
    EXPECT_EQ(t.RepaintRequests(), 1);
    t.SetAxis(0, 1, 0.2);
    EXPECT_EQ(t.RepaintRequests(), 1);
}

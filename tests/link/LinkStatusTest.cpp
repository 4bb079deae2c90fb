#include <gtest/gtest.h>

#include "link/LinkListener.h"
#include "link/LinkStatus.h"

namespace {

TEST(LinkStatus, MarkerBouncesAcrossTheCells) {
    // Counter -> the six cells between "-(" and ")-".
    const struct {
        int Counter;
        const char* Cells;
    } cases[] = {
        {1, " ~    "}, {2, "  ~   "}, {3, "   ~  "}, {4, "    ~ "}, {5, "     ~"},
        {6, "    ~ "}, {7, "   ~  "}, {8, "  ~   "}, {9, " ~    "}, {0, "~     "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Counter);
        auto text = FormatLinkStatus(RQ_CONNECT, 1, c.Counter);
        ASSERT_TRUE(text);
        EXPECT_EQ(*text, std::string("Status: -(") + c.Cells + ")-");
    }
}

TEST(LinkStatus, OnlyConnectEventsChangeTheLine) {
    EXPECT_EQ(FormatLinkStatus(RQ_CONNECT, 0, 0).value_or("-"), "Status: -(       )-");
    EXPECT_EQ(FormatLinkStatus(RQ_CONNECT, 0, 5).value_or("-"), "Status: -(       )-");
    EXPECT_EQ(FormatLinkStatus(RQ_CONNECT, 2, 1).value_or("-"), "Status: connected");
    EXPECT_FALSE(FormatLinkStatus(RQ_CONNECT, 2, 0));  // connecting stopped
    EXPECT_FALSE(FormatLinkStatus(RQ_CONNECT, 3, 1));
    for (int32_t rq : {RQ_CHECK, RQ_IDENTIFY, RQ_READ_SETTINGS, RQ_WRITE_SETTINGS, RQ_VIS_POLL, RQ_IDLE_POLL})
        for (int phase = 0; phase < 3; ++phase) EXPECT_FALSE(FormatLinkStatus(rq, phase, 1)) << rq << "/" << phase;
}

TEST(LinkStatus, ConnectingDotsFollowTheCounter) {
    EXPECT_EQ(ConnectingText(1), "Connecting..");
    EXPECT_EQ(ConnectingText(9), "Connecting..........");
    EXPECT_EQ(ConnectingText(0), "Connecting.");
    EXPECT_EQ(ConnectingText(1000000), "Connecting..........");  // held to the counter's range
}

TEST(LinkStatus, ReadProgressIsTruncatedNotRounded) {
    auto percents = [](int n, bool reciprocal) {
        std::vector<int> out;
        for (int i = 0; i < n; ++i) {
            float f = reciprocal ? float(i) * (1.0f / float(n)) : float(i) / float(n);
            out.push_back(ProgressPercent(ProgressToValue(f)));
        }
        return out;
    };
    EXPECT_EQ(percents(10, false), (std::vector<int>{0, 10, 20, 30, 40, 50, 60, 69, 80, 89}));
    EXPECT_EQ(percents(11, false), (std::vector<int>{0, 9, 18, 27, 36, 45, 54, 63, 72, 81, 90}));
    EXPECT_EQ(percents(13, true), (std::vector<int>{0, 7, 15, 23, 30, 38, 46, 53, 61, 69, 76, 84, 92}));
    EXPECT_EQ(LoadingText(ProgressToValue(0.7f)), "Loading data: 69%");
    EXPECT_EQ(ProgressPercent(ProgressToValue(0.5f)), 50);
    // Values that are no fraction are held within 0..100.
    EXPECT_EQ(ProgressPercent(ProgressToValue(-1.0f)), 0);
    EXPECT_EQ(ProgressPercent(ProgressToValue(7.0f)), 100);
    EXPECT_EQ(ProgressPercent(ProgressToValue(std::numeric_limits<float>::quiet_NaN())), 0);
}

}  // namespace

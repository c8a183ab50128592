#include <gtest/gtest.h>

#include "dials/DialHands.h"
#include "support/MonitorFixture.h"

using namespace kervo;

namespace {

TEST(HandRimPoint, wideDial_liesOnTheEllipseAtTheMinute) {
    const double cases[][3] = {{0, 100, 0},   {1, 110.45, 0.27}, {10, 186.60, 25.00},
                               {15, 200, 50}, {20, 186.60, 75},  {30, 100, 100},
                               {45, 0, 50},   {59, 89.55, 0.27}};
    for (const auto& [minute, x, y] : cases) {
        const QPointF rim = handRimPoint(200.0f, 100.0f, static_cast<int>(minute));
        EXPECT_NEAR(rim.x(), x, 0.005) << minute;
        EXPECT_NEAR(rim.y(), y, 0.005) << minute;
        // handed on in single precision
        EXPECT_TRUE(rim.x() == static_cast<float>(rim.x()) &&
                    rim.y() == static_cast<float>(rim.y()));
    }
}

constexpr int kDial = 4;
const QColor kHand(255, 0, 0);

// Whether the colour shows within a pixel of the point: an aliased line may fall on either side
// of a half-pixel coordinate.
bool colourNear(const QImage& image, QPointF p, const QColor& colour) {
    for (int d = 0; d < 9; ++d) {
        const QPoint q(static_cast<int>(p.x()) + d % 3 - 1, static_cast<int>(p.y()) + d / 3 - 1);
        if (image.valid(q) && image.pixelColor(q) == colour) {
            return true;
        }
    }
    return false;
}

struct DialFixture : ::testing::Test {
    void drawAt(int minute) {
        f.clock.setMinute(minute);
        drawMinuteHand(f.window, f.clock, kDial, rgb(255, 0, 0));
    }
    // Of three points between the centre and the minute's rim point, how many show the hand.
    int handPoints(int minute) const {
        const auto size = static_cast<float>(WindowModel::kDialSize);
        const QPointF rim = handRimPoint(size, size, minute);
        const QPointF centre(48.5, 48.5);
        int n = 0;
        for (double t : {0.2, 0.5, 0.8}) {
            n += colourNear(f.window.renderDial(kDial), centre + (rim - centre) * t, kHand);
        }
        return n;
    }
    // A short black stroke in the lower left, where no hand drawn here passes.
    void mark() { f.window.drawDialLine(kDial, QPointF(10, 87), QPointF(29, 87), rgb(0, 0, 0)); }
    bool marked() const {
        return colourNear(f.window.renderDial(kDial), QPointF(19, 87), Qt::black);
    }

    test::MonitorFixture f;
};

TEST_F(DialFixture, everyCallInMinuteOne_clearsFirstButOtherMinutesDoNot) {
    for (int minute : {1, 1, 2}) {
        mark();
        drawAt(minute);
        EXPECT_EQ(marked(), minute != 1) << minute;
        EXPECT_EQ(handPoints(minute), 3) << minute;
    }
    // 14:00:59, and every reading moves the clock a minute on: one reading decides both steps
    f.clock.time = f.clock.time.addSecs(-91);
    f.clock.advancePerRead = 60;
    f.clock.reads = 0;
    drawMinuteHand(f.window, f.clock, kDial, rgb(255, 0, 0));
    EXPECT_EQ(f.clock.reads, 1);
    EXPECT_TRUE(marked());
    EXPECT_EQ(handPoints(0), 3);
}

}  // namespace

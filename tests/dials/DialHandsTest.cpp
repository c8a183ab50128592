#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "dials/DialHands.h"
#include "support/MonitorFixture.h"

using namespace kervo;
using kervo::test::MonitorFixture;

namespace {

struct RimCase {
    int minute;
    double x;
    double y;
};

class HandRimPoint : public ::testing::TestWithParam<RimCase> {};

TEST_P(HandRimPoint, wideDial_liesOnTheEllipseAtTheMinute) {
    const RimCase c = GetParam();
    const QPointF rim = handRimPoint(200.0f, 100.0f, c.minute);
    EXPECT_NEAR(rim.x(), c.x, 0.005);
    EXPECT_NEAR(rim.y(), c.y, 0.005);
    // the coordinates are handed on in single precision
    EXPECT_EQ(rim.x(), static_cast<double>(static_cast<float>(rim.x())));
    EXPECT_EQ(rim.y(), static_cast<double>(static_cast<float>(rim.y())));
}

INSTANTIATE_TEST_SUITE_P(Minutes, HandRimPoint,
                         ::testing::Values(RimCase{0, 100, 0}, RimCase{1, 110.45, 0.27},
                                           RimCase{10, 186.60, 25.00}, RimCase{15, 200, 50},
                                           RimCase{20, 186.60, 75.00}, RimCase{30, 100, 100},
                                           RimCase{45, 0, 50}, RimCase{59, 89.55, 0.27}));

constexpr int kDial = 4;
const QColor kFace(0, 0, 200);
const QColor kHand(255, 0, 0);
const QPointF kCentrePx(48.5, 48.5);

// Whether the colour shows within a pixel of the point: an aliased line may fall on either side
// of a half-pixel coordinate.
bool colourNear(const QImage& image, QPointF p, const QColor& colour) {
    for (int dy = -1; dy <= 1; ++dy) {
        for (int dx = -1; dx <= 1; ++dx) {
            const int x = static_cast<int>(p.x()) + dx;
            const int y = static_cast<int>(p.y()) + dy;
            if (image.valid(x, y) && image.pixelColor(x, y) == colour) {
                return true;
            }
        }
    }
    return false;
}

int countColour(const QImage& image, const QColor& colour) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            n += image.pixelColor(x, y) == colour ? 1 : 0;
        }
    }
    return n;
}

QPointF rimPixel(int minute) {
    const auto twips = static_cast<float>(FormModel::kDialTwips);
    return handRimPoint(twips, twips, minute) / FormModel::kTwipsPerPixel;
}

struct DialFixture : ::testing::Test {
    DialFixture() {
        QImage face(95, 95, QImage::Format_RGB32);
        face.fill(kFace);
        f.form.setDialPicture(kDial, face);
    }
    void drawAt(int minute, const QColor& colour, int dial = kDial) {
        f.clock.setMinute(minute);
        DrawDialHand(f.form, f.clock, dial, rgb(colour.red(), colour.green(), colour.blue()));
    }
    // Whether a hand of this colour runs from the centre towards the minute's rim point.
    bool handShows(int minute, const QColor& colour) const {
        const QImage image = f.form.renderDial(kDial);
        const QPointF rim = rimPixel(minute);
        for (double t : {0.2, 0.5, 0.8}) {
            if (!colourNear(image, kCentrePx + (rim - kCentrePx) * t, colour)) {
                return false;
            }
        }
        return true;
    }
    MonitorFixture f;
};

class DrawnHand : public DialFixture, public ::testing::WithParamInterface<int> {};

TEST_P(DrawnHand, minute_oneLineFromCentreToRimOverTheFace) {
    const int minute = GetParam();
    drawAt(minute, kHand);
    const QImage image = f.form.renderDial(kDial);
    const QPointF rim = rimPixel(minute);
    for (double t : {0.1, 0.3, 0.5, 0.7, 0.9}) {
        EXPECT_TRUE(colourNear(image, kCentrePx + (rim - kCentrePx) * t, kHand)) << t;
        // the hand does not reach through the centre to the other side
        const QPointF opposite = kCentrePx - (rim - kCentrePx) * t;
        EXPECT_FALSE(colourNear(image, opposite, kHand)) << t;
        EXPECT_EQ(image.pixelColor(opposite.toPoint()), kFace) << t;
    }
    // a single one-pixel line covers one pixel per step along its longer axis
    const double steps =
        std::max(std::abs(rim.x() - kCentrePx.x()), std::abs(rim.y() - kCentrePx.y()));
    EXPECT_GE(countColour(image, kHand), steps - 1);
    EXPECT_LE(countColour(image, kHand), steps + 2);
}

INSTANTIATE_TEST_SUITE_P(Minutes, DrawnHand, ::testing::Values(0, 10, 15, 30, 45, 52));

TEST_F(DialFixture, everyCallInMinuteOne_clearsFirstButMinuteTwoDoesNot) {
    const QColor mark(0, 0, 0);
    const QColor grey(90, 90, 90);
    const QColor green(0, 255, 0);
    const QPointF markStart(1455 * 0.1, 1455 * 0.9);
    const QPointF markEnd(1455 * 0.3, 1455 * 0.9);
    const QPointF markPx(1455 * 0.2 / 15, 1455 * 0.9 / 15);

    for (int call = 0; call < 2; ++call) {
        f.form.drawDialLine(kDial, markStart, markEnd, rgb(0, 0, 0));
        ASSERT_TRUE(colourNear(f.form.renderDial(kDial), markPx, mark));
        drawAt(1, call == 0 ? grey : green);
        EXPECT_FALSE(colourNear(f.form.renderDial(kDial), markPx, mark)) << call;
    }
    // the poll's grey hand of minute 1 was wiped by the report's call in the same minute
    EXPECT_TRUE(handShows(1, green));

    f.form.drawDialLine(kDial, markStart, markEnd, rgb(0, 0, 0));
    drawAt(2, grey);
    EXPECT_TRUE(colourNear(f.form.renderDial(kDial), markPx, mark));
    EXPECT_TRUE(handShows(1, green));
    EXPECT_TRUE(handShows(2, grey));
}

TEST_F(DialFixture, clockTickingDuringTheCall_clearAndHandUseOneReading) {
    f.clock.setMinute(0);
    f.clock.time = f.clock.time.addSecs(29);  // 14:00:59
    f.clock.advancePerRead = 60;
    f.form.drawDialLine(kDial, QPointF(100, 100), QPointF(400, 100), rgb(0, 0, 0));
    DrawDialHand(f.form, f.clock, kDial, rgb(255, 0, 0));
    EXPECT_EQ(f.clock.reads, 1);
    // minute 0 read: no clear, hand straight up
    EXPECT_TRUE(colourNear(f.form.renderDial(kDial), QPointF(13, 6.7), QColor(0, 0, 0)));
    EXPECT_TRUE(handShows(0, kHand));
}

TEST_F(DialFixture, hiddenDial_takesTheHandWithoutComplaint) {
    ASSERT_FALSE(f.form.dial(0).visible);
    EXPECT_NO_THROW(drawAt(15, kHand, 0));
    EXPECT_TRUE(test::imageHasColour(f.form.dial(0).hands, kHand));
    EXPECT_FALSE(test::imageHasColour(f.form.dial(kDial).hands, kHand));
}

}  // namespace

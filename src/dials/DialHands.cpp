#include "dials/DialHands.h"

#include <cmath>

#include "app/FormModel.h"
#include "app/Seams.h"

namespace kervo {

namespace {
// The trace has always been drawn with this value; the full-precision one would move the hands
// by a hair and no longer retrace the hands of the same minute exactly.
constexpr double kPi = 3.1415926;
}  // namespace

QPointF handRimPoint(float width, float height, int minute) {
    const float cx = width / 2;
    const float cy = height / 2;
    const double angle = (6.0 * minute - 90.0) * kPi / 180.0;
    // Through memory: the optimiser would otherwise keep the doubles and skip the rounding.
    volatile float x = static_cast<float>(cx + cx * std::cos(angle));
    volatile float y = static_cast<float>(cy + cy * std::sin(angle));
    return QPointF(x, y);
}

void DrawDialHand(FormModel& form, const Clock& clock, int index, Rgb colour) {
    const QSizeF size = form.dialSizeTwips(index);
    const auto width = static_cast<float>(size.width());
    const auto height = static_cast<float>(size.height());
    // One reading: the clear and the hand must belong to the same minute.
    const int minute = clock.now().time().minute();
    if (minute == 1) {
        form.clearDial(index);
    }
    const QPointF rim = handRimPoint(width, height, minute);
    const QPointF centre(width / 2, height / 2);
    form.drawDialLine(index, rim, centre, colour);
}

}  // namespace kervo

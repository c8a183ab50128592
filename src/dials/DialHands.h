#pragma once

#include <QPointF>

#include "app/Colour.h"

namespace kervo {

class Clock;
class WindowModel;

// The colours of the trace: a grey hand at every poll, a green one for every report.
constexpr Rgb kPollHandColour = rgb(90, 90, 90);
constexpr Rgb kReportHandColour = rgb(0, 255, 0);

// Where the minute hand of a width x height dial meets the rim at this minute: on the ellipse
// through the middles of the dial's edges, minute 0 straight up, 6 degrees a minute clockwise.
// On a 200 x 100 dial: minute 0 -> (100, 0), 15 -> (200, 50), 30 -> (100, 100), 10 -> (186.60, 25).
QPointF handRimPoint(float width, float height, int minute);

// One minute hand from the rim to the centre of the dial at the clock's current minute. During
// minute 1 every call first wipes the dial's hands, so each hour starts a new trace.
void drawMinuteHand(WindowModel& window, const Clock& clock, int dial, Rgb colour);

}  // namespace kervo

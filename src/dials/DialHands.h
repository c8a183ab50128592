#pragma once

#include <QPointF>

#include "app/Colour.h"

namespace kervo {

class Clock;
class FormModel;

// Where the minute hand meets the rim of a W x H dial, both ends computed the old way: pi taken
// as 3.1415926, the angle in double precision, the coordinates rounded to single precision.
QPointF handRimPoint(float width, float height, int minute);

// One minute hand on dial index at the clock's current minute, in colour. During minute 1 every
// call first wipes the dial's hands.
void DrawDialHand(FormModel& form, const Clock& clock, int index, Rgb colour);

}  // namespace kervo

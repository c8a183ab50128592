#pragma once

namespace kervo {

struct MonitorContext;

// One tick of the blink timer: maximise (bringing the window forward) unless already maximised,
// show the reset label, alternate the alarm and calm look.
void Timer2_Timer(MonitorContext& context);

// Stops the alarm and puts the window and the alarmed dials back to their normal look.
void alarm_reset_Click(MonitorContext& context);
void Label10_Click(MonitorContext& context);

}  // namespace kervo

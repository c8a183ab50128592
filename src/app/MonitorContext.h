#pragma once

#include <QTimer>

#include "app/FormModel.h"
#include "app/MonitorState.h"
#include "app/ProblemLog.h"
#include "app/Seams.h"

namespace kervo {

// What a handler may touch: the shared state, the window's model, the two window timers and
// the seams. Built once by the monitor; handlers take it by reference.
struct MonitorContext {
    MonitorState& state;
    FormModel& form;
    QTimer& timer1;  // the poll timer
    QTimer& timer2;  // the alarm blink timer
    Clock& clock;
    Beeper& beeper;
    ProcessStarter& starter;
    ProblemLog& log;
};

}  // namespace kervo

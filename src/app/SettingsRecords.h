#pragma once

#include <QString>

#include "app/LooseValue.h"

namespace kervo {

// The records of the two settings files and how many of them the monitor has room for.
//
// They belong with Settings in settings/Settings.h. They stand here, on the ground floor, only
// while MonitorState (app/) still keeps them in its own tables: app/ never includes settings/.
// Once MonitorState is gone they move into settings/Settings.h unchanged.

// One line of server.ini: the name that pins a report to its dial, and the console command
// the dial opens.
struct ServerEntry {
    LooseValue name;
    LooseValue command;
};

// One record of kervo.ini after its head: a report whose text holds both patterns raises the
// alarm with the message.
struct AlarmRule {
    LooseValue tag;  // kept as read; nothing uses it
    LooseValue firstPattern;
    LooseValue secondPattern;
    QString message;
};

constexpr int kDialCount = 12;  // the window's dials, so the most servers server.ini may list
constexpr int kMaxRules = 200;

}  // namespace kervo

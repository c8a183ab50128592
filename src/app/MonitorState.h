#pragma once

#include <QString>
#include <QStringList>
#include <array>

#include "app/Colour.h"
#include "app/LooseValue.h"

namespace kervo {

class Mailbox;

struct ServerEntry {
    LooseValue name;
    LooseValue command;
};

struct AlarmRule {
    LooseValue tag;  // kept as read; nothing uses it
    LooseValue firstPattern;
    LooseValue secondPattern;
    QString message;
};

constexpr int kDialCount = 12;
constexpr int kServerSlots = 21;
constexpr int kRuleSlots = 201;  // slot 0 is never filled
constexpr int kMaxRules = 200;

// Everything the monitor's handlers share. One instance lives for the whole run and only the
// interface thread touches it.
struct MonitorState {
    std::array<ServerEntry, kServerSlots> servers{};
    int serverCount = -1;  // highest filled slot, -1 when server.ini has no record
    std::array<AlarmRule, kRuleSlots> rules{};
    int ruleCount = 0;  // highest filled slot

    Mailbox* mailer = nullptr;  // not owned
    QString mailServer;
    QString mailUser;
    QString mailPassword;

    QString backgroundPicture;
    QString alarmBackgroundPicture;
    QString dialPicture;
    QString dialAlarmPicture;

    LooseValue purgeLimit;
    long long purgeCounter = 0;
    int pollToggle = 0;     // -1 or 1 once started
    int blinkPhase = 0;     // 1 or -1 once started; 1 means the next blink shows the alarm look
    int currentServer = 0;  // dial of the report analysed last
    // Dials that show the alarm picture, so that the reset can put every one of them back.
    std::array<bool, kDialCount> dialAlarmed{};
    // Pictures whose failure to load the running alarm has already reported, so that a missing
    // file is logged once and not at every blink.
    QStringList blinkFailuresReported;

    Rgb alarmColour = 0;
    Rgb reportColour = 0;
    Rgb calmColour = 0;
    Rgb pollColour = 0;
};

}  // namespace kervo

#include "alarm/ReportAnalysis.h"

#include <algorithm>

#include "app/MonitorContext.h"
#include "app/Pictures.h"
#include "dials/DialHands.h"

namespace kervo {

bool occursIn(const QString& needle, const QString& text) {
    if (text.isEmpty()) {
        return false;
    }
    if (needle.isEmpty()) {
        return true;
    }
    return text.indexOf(needle, 0, Qt::CaseSensitive) >= 0;
}

namespace {

// Raises the alarm for one matching rule. The dial's alarm picture is best effort: the alarm
// itself must never be lost because its picture could not be read.
void raiseAlarm(MonitorContext& context, const AlarmRule& rule, const QString& firstText,
                const QString& secondText, bool& pictureFailureReported) {
    MonitorState& state = context.state;
    FormModel& form = context.form;
    // The log keeps the record of every alarm, whatever the window shows later.
    context.log.report(
        QStringLiteral("alarm on dial %1 (%2): %3 - %4")
            .arg(state.currentServer)
            .arg(state.servers[static_cast<size_t>(state.currentServer)].name.toText(),
                 rule.message, firstText));
    // A running blink keeps its rhythm; restarting it would postpone the next tick.
    if (!context.timer2.isActive()) {
        context.timer2.start();
    }
    form.setLabelText(FormLabel::Label1, firstText);
    form.setLabelText(FormLabel::Label2, secondText);
    form.setLabelText(FormLabel::Label3, rule.message);
    form.setMailBodyText(rule.message + QStringLiteral("\r\n") + secondText);

    const PictureLoad alarmPicture = loadPicture(state.dialAlarmPicture);
    if (alarmPicture.ok()) {
        form.setDialPicture(state.currentServer, alarmPicture.image);
    } else if (!pictureFailureReported) {
        context.log.report(
            QStringLiteral("alarm dial picture not shown: %1").arg(alarmPicture.error));
        pictureFailureReported = true;
    }
    state.dialAlarmed[static_cast<size_t>(state.currentServer)] = true;
}

}  // namespace

void AnalyseReport(MonitorContext& context, const QString& firstText, const QString& secondText) {
    MonitorState& state = context.state;

    // Index 0 is the default dial and is deliberately never searched for. Every name is tried,
    // so when several occur the highest index wins. The bound keeps a bad table from naming a
    // dial that does not exist.
    state.currentServer = 0;
    const int lastServer = std::min(state.serverCount, kDialCount - 1);
    for (int i = 1; i <= lastServer; ++i) {
        if (occursIn(state.servers[static_cast<size_t>(i)].name.toText(), firstText)) {
            state.currentServer = i;
        }
    }

    DrawDialHand(context.form, context.clock, state.currentServer, state.reportColour);

    // Every matching rule repeats the alarm, so the last one's message is what stays shown.
    bool pictureFailureReported = false;
    const int lastRule = std::min(state.ruleCount, kMaxRules);
    for (int j = 1; j <= lastRule; ++j) {
        const AlarmRule& rule = state.rules[static_cast<size_t>(j)];
        if (occursIn(rule.firstPattern.toText(), firstText) &&
            occursIn(rule.secondPattern.toText(), secondText)) {
            raiseAlarm(context, rule, firstText, secondText, pictureFailureReported);
        }
    }
}

}  // namespace kervo

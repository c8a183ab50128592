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

constexpr qsizetype kLoggedSubjectLimit = 1000;

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
                 rule.message, firstText.left(kLoggedSubjectLimit)));
    // A running blink keeps its rhythm; restarting it would postpone the next tick.
    if (!context.timer2.isActive()) {
        context.timer2.start();
    }
    // Only what a box can show is copied: a report may be many megabytes long.
    const QString shownBody = secondText.left(FormModel::kShownTextLimit);
    form.setLabelText(FormLabel::Label1, firstText);
    form.setLabelText(FormLabel::Label2, shownBody);
    form.setLabelText(FormLabel::Label3, rule.message);
    form.setMailBodyText(rule.message + QStringLiteral("\r\n") + shownBody);

    const Result<QImage> alarmPicture = loadPicture(state.dialAlarmPicture);
    if (alarmPicture.ok()) {
        form.setDialPicture(state.currentServer, alarmPicture.value());
    } else if (!pictureFailureReported) {
        context.log.report(
            QStringLiteral("alarm dial picture not shown: %1").arg(alarmPicture.error().message));
        pictureFailureReported = true;
    }
    state.dialAlarmed[static_cast<size_t>(state.currentServer)] = true;
}

}  // namespace

ReportRules ReportRules::from(const MonitorState& state) {
    ReportRules rules;
    const int lastServer = std::min(state.serverCount, kDialCount - 1);
    for (int i = 0; i <= lastServer; ++i) {
        rules.serverNames_.push_back(state.servers[static_cast<size_t>(i)].name.toText());
    }
    const int lastRule = std::min(state.ruleCount, kMaxRules);
    for (int j = 1; j <= lastRule; ++j) {
        const AlarmRule& rule = state.rules[static_cast<size_t>(j)];
        rules.patterns_.emplace_back(rule.firstPattern.toText(), rule.secondPattern.toText());
    }
    return rules;
}

ReportFindings ReportRules::find(const QString& firstText, const QString& secondText) const {
    ReportFindings findings;
    for (size_t i = 1; i < serverNames_.size(); ++i) {
        if (occursIn(serverNames_[i], firstText)) {
            findings.dial = static_cast<int>(i);
        }
    }
    // The second search runs only where the first matched: the body may be long.
    for (size_t n = 0; n < patterns_.size(); ++n) {
        if (occursIn(patterns_[n].first, firstText) && occursIn(patterns_[n].second, secondText)) {
            findings.matchedRules.push_back(static_cast<int>(n) + 1);
        }
    }
    return findings;
}

void applyFindings(MonitorContext& context, const ReportFindings& findings,
                   const QString& firstText, const QString& secondText) {
    MonitorState& state = context.state;
    state.currentServer = findings.dial;
    DrawDialHand(context.form, context.clock, state.currentServer, state.reportColour);
    // Every matching rule repeats the alarm, so the last one's message is what stays shown.
    bool pictureFailureReported = false;
    for (const int slot : findings.matchedRules) {
        raiseAlarm(context, state.rules[static_cast<size_t>(slot)], firstText, secondText,
                   pictureFailureReported);
    }
}

void AnalyseReport(MonitorContext& context, const QString& firstText, const QString& secondText) {
    applyFindings(context, ReportRules::from(context.state).find(firstText, secondText), firstText,
                  secondText);
}

}  // namespace kervo

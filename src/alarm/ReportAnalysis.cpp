#include "alarm/ReportAnalysis.h"

#include "alarm/Alarm.h"
#include "dials/DialHands.h"
#include "settings/Settings.h"

namespace kervo {

ReportAnalysis::ReportAnalysis(const Settings& settings, WindowModel& window, const Clock& clock,
                               Alarm& alarm)
    : settings_(settings), rules_(settings), window_(window), clock_(clock), alarm_(alarm) {}

void ReportAnalysis::show(const ReportFindings& findings, const QString& subject,
                          const QString& body) {
    const int dial = findings.dial;
    alarm_.noteReportDial(dial);
    drawMinuteHand(window_, clock_, dial, kReportHandColour);
    const auto server = static_cast<size_t>(dial);
    const QString serverName =
        server < settings_.servers.size() ? settings_.servers[server].name.toText() : QString();
    for (const int rule : findings.matchedRules) {
        alarm_.raise(dial, serverName, settings_.rules.at(static_cast<size_t>(rule)).message,
                     subject, body);
    }
}

void ReportAnalysis::analyse(const QString& subject, const QString& body) {
    show(rules_.find(subject, body), subject, body);
}

}  // namespace kervo

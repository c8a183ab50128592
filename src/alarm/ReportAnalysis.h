#pragma once

#include <QString>

#include "settings/RuleBook.h"

namespace kervo {

class Alarm;
class Clock;
class WindowModel;
struct Settings;

// What a report means, shown: its green hand on the dial it belongs to, and the alarm for every
// rule it matches.
class ReportAnalysis {
  public:
    ReportAnalysis(const Settings& settings, WindowModel& window, const Clock& clock, Alarm& alarm);

    // The findings of a report made visible. Every matching rule raises the alarm again, so
    // the last one's message is what stays shown.
    void show(const ReportFindings& findings, const QString& subject, const QString& body);
    // Finding and showing at once, on the calling thread.
    void analyse(const QString& subject, const QString& body);

    const RuleBook& rules() const { return rules_; }

  private:
    const Settings& settings_;
    RuleBook rules_;
    WindowModel& window_;
    const Clock& clock_;
    Alarm& alarm_;
};

}  // namespace kervo

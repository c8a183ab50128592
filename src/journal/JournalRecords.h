#pragma once

#include <QDateTime>
#include <QString>
#include <vector>

namespace kervo {

// The most of a report's text the journal keeps, in characters. Far more than any report the
// monitor was made for (a few kilobytes); a runaway mail of megabytes is kept up to here and
// marked as cut, so that one mail cannot fill the disk the journal shares with the mail folder.
constexpr qsizetype kJournalTextLimit = 64 * 1024;

// One rule a report matched, as kervo.ini names it.
struct RuleHit {
    int rule = 0;  // its place in kervo.ini's rules, which tells two rules of one tag apart
    QString tag;
    QString message;
};

// One analysed report, as the journal records it. The mail's file name is the key: the same mail
// analysed again after a crash is never recorded twice.
struct ReportRecord {
    QString mailFile;  // the name within the mail folder, without its folder
    QDateTime received;
    int dial = 0;
    QString server;
    QString subject;
    QString body;
    std::vector<RuleHit> hits;  // each one an alarm
};

// One alarm as the history shows it: a rule that a report matched.
struct AlarmEntry {
    qint64 id = 0;
    qint64 reportId = 0;
    QDateTime raised;
    QString server;
    QString tag;
    QString message;
    QString subject;
    QDateTime acknowledged;  // invalid while the alarm is open
    QString acknowledgedBy;
    QString comment;
    bool isOpen() const { return !acknowledged.isValid(); }
};

// Which alarms to list. Empty parts select everything.
struct AlarmFilter {
    QDateTime since;  // raised at or after
    QString server;   // exactly this server
    QString text;     // occurs in the subject, the message, the tag or the server, any case
};

// A report's whole kept text.
struct KeptReport {
    QString subject;
    QString body;
    bool cut = false;  // longer than kJournalTextLimit when it arrived
};

// How many reports and alarms one server had in each period of a row of equal periods.
struct ServerActivity {
    QString server;
    std::vector<int> reports;
    std::vector<int> alarms;
};

}  // namespace kervo

#include "settings/RuleBook.h"

#include "settings/Settings.h"

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

RuleBook::RuleBook(const Settings& settings) {
    for (const ServerEntry& server : settings.servers) {
        serverNames_.push_back(server.name.toText());
    }
    for (const AlarmRule& rule : settings.rules) {
        patterns_.emplace_back(rule.firstPattern.toText(), rule.secondPattern.toText());
    }
}

ReportFindings RuleBook::find(const QString& subject, const QString& body) const {
    ReportFindings findings;
    for (size_t i = 1; i < serverNames_.size(); ++i) {
        if (occursIn(serverNames_[i], subject)) {
            findings.dial = static_cast<int>(i);
        }
    }
    // The body is searched only where the subject matched: it may be long.
    for (size_t n = 0; n < patterns_.size(); ++n) {
        if (occursIn(patterns_[n].first, subject) && occursIn(patterns_[n].second, body)) {
            findings.matchedRules.push_back(static_cast<int>(n));
        }
    }
    return findings;
}

}  // namespace kervo

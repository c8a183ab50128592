#pragma once

#include <QString>
#include <utility>
#include <vector>

namespace kervo {

struct Settings;

// The text search of the alarm rules and server names: exact and case-sensitive; an empty
// needle occurs in every non-empty text and nothing occurs in an empty text.
bool occursIn(const QString& needle, const QString& text);

// What one report means: the dial it belongs to and the rules it matches, in rule order.
struct ReportFindings {
    int dial = 0;
    std::vector<int> matchedRules;  // indexes into Settings::rules
};

// The server names and rule patterns of the settings, held apart so that the poll's worker can
// search a long report without holding up the window. The settings never change while the
// monitor runs, so a copy judges every report alike.
class RuleBook {
  public:
    RuleBook() = default;
    explicit RuleBook(const Settings& settings);

    // The report goes to the dial of the last server whose name occurs in its subject; the
    // first server's name is never searched for: its dial takes every report that names no
    // other. Every rule is tried, and all whose first pattern occurs in the subject and whose
    // second occurs in the body are listed.
    ReportFindings find(const QString& subject, const QString& body) const;

  private:
    std::vector<QString> serverNames_;                   // dial i's name at i
    std::vector<std::pair<QString, QString>> patterns_;  // rule n's two patterns at n
};

}  // namespace kervo

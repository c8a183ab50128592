#pragma once

#include <QString>
#include <utility>
#include <vector>

namespace kervo {

struct MonitorContext;
struct MonitorState;

// The text search of the alarm rules and server names: exact and case-sensitive; an empty
// needle occurs in every non-empty text and nothing occurs in an empty text.
bool occursIn(const QString& needle, const QString& text);

// What one report means: the dial it belongs to and the rules it matches, in rule order.
struct ReportFindings {
    int dial = 0;
    std::vector<int> matchedRules;  // rule slots, 1-based
};

// The server names and rule patterns of the settings, copied so that a worker thread can search
// a long report without holding up the window. The settings never change while the monitor
// runs, so a copy taken at any time judges every report alike.
class ReportRules {
  public:
    static ReportRules from(const MonitorState& state);

    // Index 0 is the default dial and is deliberately never searched for. Every name is tried,
    // so when several occur the highest index wins. Every rule is tried, so all that match are
    // listed.
    ReportFindings find(const QString& firstText, const QString& secondText) const;

  private:
    std::vector<QString> serverNames_;                   // dial i's name at i
    std::vector<std::pair<QString, QString>> patterns_;  // rule slot n's patterns at n - 1
};

// Draws the report's green hand and raises the alarm for every rule found matching.
void applyFindings(MonitorContext& context, const ReportFindings& findings,
                   const QString& firstText, const QString& secondText);

// Both steps at once, on the calling thread.
void AnalyseReport(MonitorContext& context, const QString& firstText, const QString& secondText);

}  // namespace kervo

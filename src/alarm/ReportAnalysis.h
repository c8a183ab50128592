#pragma once

#include <QString>

namespace kervo {

struct MonitorContext;

// The text search of the alarm rules and server names: exact and case-sensitive; an empty
// needle occurs in every non-empty text and nothing occurs in an empty text.
bool occursIn(const QString& needle, const QString& text);

// Attributes one report to a dial, draws its green hand and raises the alarm for every rule
// whose two patterns occur in the report's two texts.
void AnalyseReport(MonitorContext& context, const QString& firstText, const QString& secondText);

}  // namespace kervo

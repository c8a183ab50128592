#pragma once

#include <QStringList>
#include <QTextStream>

namespace kervo {

// kervo --history [--since YYYY-MM-DD] [--server NAME]: the journal's alarms, oldest first, one
// tab-separated line each (time, server, rule tag, rule message, subject, acknowledged time or
// empty), for scripts. Reads the journal only. `options` are the arguments after --history.
int runHistoryTool(const QString& journal, const QStringList& options, QTextStream& out,
                   QTextStream& err);

}  // namespace kervo

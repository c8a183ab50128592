#pragma once

#include <QDir>
#include <QString>
#include <QTextStream>
#include <functional>

namespace kervo {

// The operator's check of the settings in dir: reads kervo.ini and server.ini exactly as the
// start-up does and prints what the monitor would load to out, or the error with its file and
// line to err. The mail password itself is never printed. Pictures that only an alarm loads
// are checked too; a failure there is a warning on err and does not fail the check.
// describeServer, when given, tells how line 6 is understood (the mail layer knows; the
// settings do not). Returns 0 when the start-up would succeed, 1 otherwise.
int runCheckCommand(const QDir& dir, QTextStream& out, QTextStream& err,
                    const std::function<QString(const QString& serverLine)>& describeServer = {});

}  // namespace kervo

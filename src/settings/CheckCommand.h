#pragma once

#include <QDir>
#include <QTextStream>

namespace kervo {

// The operator's check of the settings in dir: reads kervo.ini and server.ini exactly as the
// start-up does and prints what the monitor would load to out, or the error with its file and
// line to err. The mail password itself is never printed. Pictures that only an alarm loads
// are checked too; a failure there is a warning on err and does not fail the check.
// Returns 0 when the start-up would succeed, 1 otherwise.
int runCheckCommand(const QDir& dir, QTextStream& out, QTextStream& err);

}  // namespace kervo

#pragma once

#include <QString>
#include <QStringList>

namespace kervo {

struct MonitorContext;

// Splits a console command line into the program and its arguments without any shell: words
// are separated by blanks, double quotes group words and are removed.
QStringList splitCommandLine(const QString& commandLine);

// A click on dial index: starts that server's console, detached. An empty command, or one of
// only two double quotes, does nothing. A command that cannot start is reported, never fatal.
void Picture1_Click(MonitorContext& context, int index);

}  // namespace kervo

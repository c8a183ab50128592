#pragma once

#include <QString>
#include <QStringList>
#include <vector>

namespace kervo {

class ProblemLog;
class ProcessStarter;
struct Settings;

// Splits a console command line into the program and its arguments without any shell: words
// are separated by blanks, double quotes group words and are removed.
//     xterm -e "ssh web01"   ->   {"xterm", "-e", "ssh web01"}
//     ""                     ->   {}   (no command)
QStringList splitCommandLine(const QString& commandLine);

// The consoles of the servers, one per dial, started by a click on the dial.
class ConsoleLauncher {
  public:
    ConsoleLauncher(const Settings& settings, ProcessStarter& starter, ProblemLog& log);

    // Starts the console of the dial's server, detached. An empty command, or one of only two
    // double quotes, does nothing. A command that cannot start is shown to the operator and
    // logged; polling and any alarm go on.
    void openConsole(int dial);

  private:
    std::vector<QString> commands_;  // dial i's command line at i
    ProcessStarter& starter_;
    ProblemLog& log_;
};

}  // namespace kervo

#include <sys/prctl.h>
#include <sys/resource.h>

#include <QApplication>
#include <QTextStream>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "Application.h"
#include "CommandLine.h"
#include "StartOptions.h"
#include "app/ProblemLog.h"
#include "app/ProgramFolders.h"
#include "app/ToolkitMessages.h"
#include "ui/Fonts.h"

namespace {

// Set before anything else runs, for the tools too: they read the password as well.
void guardTheProcess() {
    // A log reader that went away must cost the log line, never the monitor.
    std::signal(SIGPIPE, SIG_IGN);
    // The mail password is in this process's memory: a crash leaves no core file holding it.
    // Only the soft limit goes, so that a console started from a dial may raise it again.
    rlimit core{};
    if (::getrlimit(RLIMIT_CORE, &core) == 0) {
        core.rlim_cur = 0;
        ::setrlimit(RLIMIT_CORE, &core);
    }
    // Not dumpable: no core even where the core limit is ignored, and no other process of the
    // same user may attach to this one or read its memory. The sanitizers' leak check makes
    // the process dumpable for the moment it needs; a program started from here is dumpable
    // again after its exec.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
}

}  // namespace

int main(int argc, char** argv) {
    guardTheProcess();
    QStringList arguments;
    for (int i = 0; i < argc; ++i) {
        arguments << QString::fromLocal8Bit(argv[i]);
    }
    const kervo::Result<kervo::StartOptions> options = kervo::takeStartOptions(arguments);
    const kervo::ProgramFolders folders = kervo::chooseFolders(
        kervo::gatherFolderFacts(options.ok() ? options.value().settingsDir : QString()));
    {
        QTextStream out(stdout);
        QTextStream err(stderr);
        if (!options.ok()) {
            err << QStringLiteral("kervo: %1\n").arg(options.error().message);
            return 2;
        }
        if (const std::optional<int> status =
                kervo::runOperatorTool(arguments, folders, out, err)) {
            return *status;
        }
        if (options.value().logToFile) {
            if (const kervo::Result<void> sent = kervo::sendStandardErrorTo(folders.logFile);
                !sent.ok()) {
                err << QStringLiteral("kervo: %1\n").arg(sent.error().message);
                return 2;
            }
        }
    }

    // From here on the toolkit's own messages go into the log, marked and time-stamped.
    kervo::ProblemLog toolkitLog;
    const kervo::ToolkitMessages toolkitMessages(toolkitLog);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kervo"));
    kervo::installFontSubstitutions();
    kervo::Application::Options where;
    where.settingsDir = QDir(folders.settings);
    where.mailFolder = folders.mail;
    kervo::Application monitor(where);
    if (const std::optional<int> failed = monitor.start()) {
        return *failed;
    }
    const int status = QApplication::exec();
    // Ending never waits for a mail server: a fetch still running is abandoned, and what it had
    // not yet saved stays on the server for the next start.
    if (monitor.pollInFlight()) {
        std::fflush(nullptr);
        std::_Exit(status);
    }
    return status;
}

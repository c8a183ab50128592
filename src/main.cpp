#include <sys/prctl.h>
#include <sys/resource.h>

#include <QApplication>
#include <QTextStream>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "Application.h"
#include "CommandLine.h"
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
    {
        QTextStream out(stdout);
        QTextStream err(stderr);
        if (const std::optional<int> status = kervo::runOperatorTool(arguments, out, err)) {
            return *status;
        }
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("kervo"));
    kervo::installFontSubstitutions();
    kervo::Application monitor({});
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

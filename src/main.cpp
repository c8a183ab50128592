#include <QApplication>
#include <QTextStream>
#include <cstdio>
#include <cstdlib>

#include "Application.h"
#include "app/CommandLine.h"
#include "ui/Fonts.h"

int main(int argc, char** argv) {
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

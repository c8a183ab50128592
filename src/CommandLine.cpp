#include "CommandLine.h"

#include <QDir>

#include "journal/HistoryTool.h"
#include "journal/JournalPlace.h"
#include "mail/mime/ReadMailTool.h"
#include "settings/CheckCommand.h"

namespace kervo {

namespace {

void printUsage(QTextStream& out) {
    out << QStringLiteral(
        "Usage: kervo                  start the monitor with kervo.ini and server.ini\n"
        "                              from the current folder\n"
        "       kervo --check          read both settings files as the start-up does and\n"
        "                              print what was loaded, or the error with its line\n"
        "       kervo --read-mail FILE...  print the subject and body of saved mails as\n"
        "                              the alarm rules see them\n"
        "       kervo --history [--since YYYY-MM-DD] [--server NAME]\n"
        "                              print the journal's alarms as tab-separated lines:\n"
        "                              time, server, rule tag, rule message, subject,\n"
        "                              acknowledged time or empty\n"
        "       kervo --help           this text\n"
        "       kervo --version        the version\n");
}

}  // namespace

std::optional<int> runOperatorTool(const QStringList& arguments, QTextStream& out,
                                   QTextStream& err) {
    if (arguments.size() <= 1) {
        return std::nullopt;
    }
    const QString& tool = arguments.at(1);
    if (tool == u"--help" || tool == u"-h") {
        printUsage(out);
        return 0;
    }
    if (tool == u"--version") {
        out << QStringLiteral("kervo %1\n").arg(QStringLiteral(KERVO_VERSION));
        return 0;
    }
    if (tool == u"--check" && arguments.size() == 2) {
        return runCheckCommand(QDir::current(), out, err);
    }
    if (tool == u"--history") {
        return runHistoryTool(journalPath(), arguments.mid(2), out, err);
    }
    if (tool == u"--read-mail" && arguments.size() > 2) {
        return runReadMailTool(arguments.mid(2), out, err);
    }
    err << QStringLiteral("kervo: unknown or incomplete option: %1\n")
               .arg(arguments.mid(1).join(u' '));
    printUsage(err);
    return 2;
}

}  // namespace kervo

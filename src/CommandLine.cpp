#include "CommandLine.h"

#include <QDir>

#include "ServerCheckCommand.h"
#include "journal/HistoryTool.h"
#include "journal/JournalPlace.h"
#include "mail/mime/ReadMailTool.h"
#include "mail/transport/ServerAddress.h"
#include "settings/CheckCommand.h"

namespace kervo {

namespace {

void printUsage(QTextStream& out) {
    out << QStringLiteral(
        "Usage: kervo                  start the monitor with kervo.ini and server.ini\n"
        "                              from the settings folder\n"
        "       kervo --check          print the folders used, read both settings files as\n"
        "                              the start-up does and print what was loaded, or the\n"
        "                              error with its line\n"
        "       kervo --check-server   log on to the mail server as a poll does, print what\n"
        "                              it showed and how many mails wait; fetch nothing\n"
        "       kervo --read-mail FILE...  print the subject and body of saved mails as\n"
        "                              the alarm rules see them\n"
        "       kervo --history [--since YYYY-MM-DD] [--server NAME]\n"
        "                              print the journal's alarms as tab-separated lines:\n"
        "                              time, server, rule tag, rule message, subject,\n"
        "                              acknowledged time or empty\n"
        "       kervo --help           this text\n"
        "       kervo --version        the version\n"
        "Options before or after any of these:\n"
        "       --settings DIR         read the settings from DIR (default: the current\n"
        "                              folder when it holds kervo.ini, else ~/.config/kervo)\n"
        "       --log-to-file          append the log to ~/.local/state/kervo/kervo.log\n"
        "                              instead of standard error\n");
}

void printFolders(const ProgramFolders& folders, QTextStream& out) {
    out << QStringLiteral("Settings folder: %1 (%2)\n")
               .arg(QDir::toNativeSeparators(folders.settings), folders.settingsReason);
    out << QStringLiteral("Mail folder: %1 (%2)\n")
               .arg(QDir::toNativeSeparators(folders.mail), folders.mailReason);
    out.flush();
}

}  // namespace

std::optional<int> runOperatorTool(const QStringList& arguments, const ProgramFolders& folders,
                                   QTextStream& out, QTextStream& err) {
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
        printFolders(folders, out);
        return runCheckCommand(QDir(folders.settings), out, err, [](const QString& line) {
            const Result<ServerAddress> parsed = parseServerAddress(line);
            return parsed.ok() ? parsed.value().form()
                               : QStringLiteral("not understood: ") + parsed.error().message;
        });
    }
    if (tool == u"--check-server" && arguments.size() == 2) {
        return runServerCheckCommand(QDir(folders.settings), out, err);
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

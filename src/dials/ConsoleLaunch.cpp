#include "dials/ConsoleLaunch.h"

#include "app/ProblemLog.h"
#include "app/Seams.h"
#include "settings/Settings.h"

namespace kervo {

QStringList splitCommandLine(const QString& commandLine) {
    QStringList words;
    QString word;
    bool inWord = false;  // a quoted empty word is still a word
    bool quoted = false;
    for (const QChar c : commandLine) {
        if (c == u'"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (c == u' ' || c == u'\t')) {
            if (inWord) {
                words.append(word);
                word.clear();
                inWord = false;
            }
        } else {
            word.append(c);
            inWord = true;
        }
    }
    if (inWord) {
        words.append(word);
    }
    // A line of nothing but empty quotes names no program; it stands for "no command".
    for (const QString& w : std::as_const(words)) {
        if (!w.isEmpty()) {
            return words;
        }
    }
    return {};
}

ConsoleLauncher::ConsoleLauncher(const Settings& settings, ProcessStarter& starter, ProblemLog& log)
    : starter_(starter), log_(log) {
    for (const ServerEntry& server : settings.servers) {
        commands_.push_back(server.command.toText());
    }
}

void ConsoleLauncher::openConsole(int dial) {
    if (dial < 0 || static_cast<size_t>(dial) >= commands_.size()) {
        return;  // a dial without a server has no console
    }
    const QString& command = commands_[static_cast<size_t>(dial)];
    const QStringList words = splitCommandLine(command);
    if (words.isEmpty()) {
        return;
    }
    if (const Result<void> started = starter_.start(words.first(), words.mid(1)); !started.ok()) {
        // The operator clicked and must learn why nothing opened; polling and alarm go on.
        const QString why = started.error().message.isEmpty() ? QStringLiteral("reason unknown")
                                                              : started.error().message;
        log_.warn(QStringLiteral("The console command \"%1\" could not be started: %2")
                      .arg(command, why));
    }
}

}  // namespace kervo

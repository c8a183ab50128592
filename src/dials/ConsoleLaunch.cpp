#include "dials/ConsoleLaunch.h"

#include "app/MonitorContext.h"

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

void Picture1_Click(MonitorContext& context, int index) {
    if (index < 0 || index >= kDialCount) {
        context.log.report(QStringLiteral("click on dial %1, which does not exist").arg(index));
        return;
    }
    const QString command = context.state.servers[static_cast<size_t>(index)].command.toText();
    const QStringList words = splitCommandLine(command);
    if (words.isEmpty()) {
        return;
    }
    QString error;
    if (!context.starter.startDetached(words.first(), words.mid(1), &error)) {
        // The operator clicked and must learn why nothing opened; polling and alarm go on.
        if (error.isEmpty()) {
            error = QStringLiteral("reason unknown");
        }
        context.log.warn(QStringLiteral("The console command \"%1\" could not be started: %2")
                             .arg(command, error));
    }
}

}  // namespace kervo

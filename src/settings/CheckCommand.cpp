#include "settings/CheckCommand.h"

#include "app/Pictures.h"
#include "app/TextSafety.h"
#include "settings/Settings.h"

namespace kervo {

namespace {

// One line of output per value: control characters and line breaks made visible.
QString visible(const QString& text) {
    QString shown = displaySafe(text);
    shown.replace(u'\r', QStringLiteral("\\r"));
    shown.replace(u'\n', QStringLiteral("\\n"));
    shown.replace(u'\t', QStringLiteral("\\t"));
    return shown;
}

QString quoted(const QString& text) {
    return u'"' + visible(text) + u'"';
}

// Numbers bare and texts quoted, so that an unquoted 007 read as 7 shows as such.
QString describe(const LooseValue& value) {
    if (value.isEmpty()) {
        return QStringLiteral("(empty)");
    }
    if (value.isNumber()) {
        return value.toText();
    }
    return quoted(value.toText());
}

struct PictureLine {
    int line;
    QString name;
    const QString& path;   // resolved against the settings folder
    const QImage* loaded;  // the start-up's picture, or nothing when only an alarm loads it
};

void printPictures(const LoadedSettings& loaded, QTextStream& out, QTextStream& err) {
    const Settings& settings = loaded.settings;
    const PictureLine lines[] = {
        {1, QStringLiteral("background picture"), settings.backgroundPicture, &loaded.background},
        {2, QStringLiteral("alarm background picture"), settings.alarmBackgroundPicture, nullptr},
        {3, QStringLiteral("dial picture"), settings.dialPicture, &loaded.dial},
        {4, QStringLiteral("dial alarm picture"), settings.dialAlarmPicture, nullptr}};
    out << "Pictures:\n";
    for (const PictureLine& p : lines) {
        out << QStringLiteral("  line %1, %2: ").arg(p.line).arg(p.name);
        const QString& written = loaded.pictureLines.at(static_cast<size_t>(p.line - 1));
        if (written.isEmpty()) {
            out << "(none)\n";
            continue;
        }
        out << quoted(written);
        // readSettings has already loaded lines 1 and 3, or the check would have stopped.
        const Result<QImage> picture =
            p.loaded != nullptr ? Result<QImage>(*p.loaded) : loadPicture(p.path);
        if (picture.ok()) {
            out << QStringLiteral(" (loads, %1 x %2 px)\n")
                       .arg(picture.value().width())
                       .arg(picture.value().height());
        } else {
            const QString reason = visible(picture.error().message);
            out << QStringLiteral(" (does not load: %1)\n").arg(reason);
            // Only an alarm needs this picture: the monitor would start without it.
            err << QStringLiteral("warning: %1, line %2: the %3 does not load: %4\n")
                       .arg(QString::fromUtf16(kKervoIni))
                       .arg(p.line)
                       .arg(p.name, reason);
        }
    }
}

void printSettings(const LoadedSettings& loaded, const QDir& dir, QTextStream& out,
                   QTextStream& err, const std::function<QString(const QString&)>& describeServer) {
    const Settings& settings = loaded.settings;
    out << QStringLiteral("Settings in %1\n").arg(QDir::toNativeSeparators(dir.absolutePath()));
    printPictures(loaded, out, err);
    out << QStringLiteral("Purge limit: %1\n").arg(describe(settings.purgeLimit));
    out << QStringLiteral("Mail server: %1\n").arg(quoted(withoutUserInfo(settings.mailServer)));
    if (describeServer) {
        out << QStringLiteral("Mail server form: %1\n")
                   .arg(visible(describeServer(settings.mailServer)));
    }
    out << QStringLiteral("Mail user: %1\n").arg(quoted(settings.mailUser));
    out << QStringLiteral("Mail password: %1\n")
               .arg(settings.mailPassword.isEmpty() ? QStringLiteral("(empty)")
                                                    : QStringLiteral("(set)"));

    out << QStringLiteral("Rules: %1\n").arg(settings.rules.size());
    int n = 0;
    for (const AlarmRule& rule : settings.rules) {
        out << QStringLiteral(
                   "  rule %1: tag %2, first pattern %3, second pattern %4, "
                   "message %5\n")
                   .arg(++n)
                   .arg(describe(rule.tag), describe(rule.firstPattern),
                        describe(rule.secondPattern), quoted(rule.message));
    }

    out << QStringLiteral("Servers: %1\n").arg(settings.servers.size());
    int k = 0;
    for (const ServerEntry& server : settings.servers) {
        const QString command = server.command.toText();
        out << QStringLiteral("  dial %1: caption %2, command %3\n")
                   .arg(k++)
                   .arg(quoted(server.name.toText()),
                        command.isEmpty() ? QStringLiteral("(none)") : quoted(command));
    }
}

}  // namespace

int runCheckCommand(const QDir& dir, QTextStream& out, QTextStream& err,
                    const std::function<QString(const QString&)>& describeServer) {
    // The start-up's own read, so that the first error it would meet is the one reported.
    const Result<LoadedSettings, SettingsError> loaded = readSettings(dir);
    if (!loaded.ok()) {
        err << QStringLiteral("error: %1\n").arg(visible(loaded.error().toText()));
        err.flush();
        return 1;
    }
    printSettings(loaded.value(), dir, out, err, describeServer);
    out.flush();
    err.flush();
    return 0;
}

}  // namespace kervo

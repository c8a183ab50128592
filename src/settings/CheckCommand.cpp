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
    const QString* path;
    bool neededAtStart;
};

void printPictures(const Settings& settings, const QDir& dir, QTextStream& out, QTextStream& err) {
    const PictureLine lines[] = {
        {1, QStringLiteral("background picture"), &settings.backgroundPicture, true},
        {2, QStringLiteral("alarm background picture"), &settings.alarmBackgroundPicture, false},
        {3, QStringLiteral("dial picture"), &settings.dialPicture, true},
        {4, QStringLiteral("dial alarm picture"), &settings.dialAlarmPicture, false}};
    out << "Pictures:\n";
    for (const PictureLine& p : lines) {
        out << QStringLiteral("  line %1, %2: ").arg(p.line).arg(p.name);
        if (p.path->isEmpty()) {
            out << "(none)\n";
            continue;
        }
        const Result<QImage> load = loadPicture(picturePathIn(dir, *p.path));
        out << quoted(*p.path);
        if (load.ok()) {
            out << QStringLiteral(" (loads, %1 x %2 px)\n")
                       .arg(load.value().width())
                       .arg(load.value().height());
        } else {
            out << QStringLiteral(" (does not load: %1)\n").arg(visible(load.error().message));
            // The start-up has already stopped for lines 1 and 3; the others only show when an
            // alarm needs them.
            if (!p.neededAtStart) {
                err << QStringLiteral("warning: %1, line %2: the %3 does not load: %4\n")
                           .arg(QString::fromUtf16(kKervoIni))
                           .arg(p.line)
                           .arg(p.name, visible(load.error().message));
            }
        }
    }
}

void printSettings(const Settings& settings, const QDir& dir, QTextStream& out, QTextStream& err) {
    out << QStringLiteral("Settings in %1\n").arg(QDir::toNativeSeparators(dir.absolutePath()));
    printPictures(settings, dir, out, err);
    out << QStringLiteral("Purge limit: %1\n").arg(describe(settings.purgeLimit));
    out << QStringLiteral("Mail server: %1\n").arg(quoted(withoutUserInfo(settings.mailServer)));
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

int runCheckCommand(const QDir& dir, QTextStream& out, QTextStream& err) {
    // The same steps in the same order as the start-up, so that the first error it would meet
    // is the one reported.
    Settings settings;
    std::optional<SettingsError> error = readKervoIni(dir, settings);
    if (!error) {
        const StartPicturesRead pictures = loadStartPictures(settings, dir);
        if (const auto* failed = std::get_if<SettingsError>(&pictures)) {
            error = *failed;
        }
    }
    if (!error) {
        error = readServerIni(dir, settings);
    }
    if (error) {
        err << QStringLiteral("error: %1\n").arg(visible(error->toText()));
        err.flush();
        return 1;
    }
    printSettings(settings, dir, out, err);
    out.flush();
    err.flush();
    return 0;
}

}  // namespace kervo

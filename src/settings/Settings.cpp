#include "settings/Settings.h"

#include <QFile>

#include "app/Pictures.h"
#include "settings/SettingsText.h"

namespace kervo {

namespace {

constexpr int kHeadLines = 8;

// What the operator is told each head line holds.
constexpr const char16_t* kHeadNames[kHeadLines] = {
    u"background picture", u"alarm background picture",
    u"dial picture",       u"dial alarm picture",
    u"purge limit",        u"mail server",
    u"mail user",          u"mail password"};

QString headName(int line) {
    return QString::fromUtf16(kHeadNames[line - 1]);
}

// The whole file, read in one go and closed again before anything is parsed.
Result<QByteArray, SettingsError> readBytes(const QDir& folder, const QString& name) {
    QFile file(folder.filePath(name));
    if (!file.open(QIODevice::ReadOnly)) {
        return SettingsError{
            name, 0,
            QStringLiteral("cannot open %1: %2")
                .arg(QDir::toNativeSeparators(file.fileName()), file.errorString())};
    }
    QByteArray bytes = file.readAll();
    const bool failed = file.error() != QFileDevice::NoError;
    const QString reason = file.errorString();
    file.close();
    if (failed) {
        return SettingsError{name, 0, QStringLiteral("cannot read the file: %1").arg(reason)};
    }
    return bytes;
}

Result<SettingsCursor, SettingsError> openText(const QByteArray& bytes, const QString& file) {
    Result<QString> text = decodeSettingsText(bytes);
    if (!text.ok()) {
        return SettingsError{file, 0, text.error().message};
    }
    return SettingsCursor(std::move(text).value());
}

// Reads one record of fieldNames.size() fields. A record the file cuts short, or a quote that
// is never closed, is an error naming the record's first line.
Result<std::vector<SettingsField>, SettingsError> readRecord(SettingsCursor& cursor,
                                                             const QString& file,
                                                             const QString& what, int number,
                                                             const QStringList& fieldNames) {
    const int recordLine = cursor.line();
    std::vector<SettingsField> fields;
    fields.reserve(static_cast<size_t>(fieldNames.size()));
    for (qsizetype i = 0; i < fieldNames.size(); ++i) {
        const int fieldLine = cursor.line();
        Result<SettingsField, FieldFault> field = cursor.readField();
        if (field.ok()) {
            fields.push_back(std::move(field).value());
            continue;
        }
        switch (field.error()) {
            case FieldFault::NothingLeft:
                return SettingsError{
                    file, recordLine,
                    QStringLiteral("%1 record %2 ends after %3 of its %4 fields (%5)")
                        .arg(what)
                        .arg(number)
                        .arg(i)
                        .arg(fieldNames.size())
                        .arg(fieldNames.join(QStringLiteral(", ")))};
            case FieldFault::UnclosedQuote:
                return SettingsError{
                    file, fieldLine,
                    QStringLiteral("the %1 of %2 record %3 opens a double quote that is never "
                                   "closed")
                        .arg(fieldNames.at(i), what)
                        .arg(number)};
        }
    }
    return fields;
}

LooseValue loose(const SettingsField& field) {
    return LooseValue::fromField(field.text, field.quoted);
}

// kervo.ini: the eight head lines, then the rules. The picture lines stay as written.
Result<Settings, SettingsError> parseKervoIni(const QByteArray& bytes) {
    const QString file = QString::fromUtf16(kKervoIni);
    Result<SettingsCursor, SettingsError> opened = openText(bytes, file);
    if (!opened.ok()) {
        return opened.error();
    }
    SettingsCursor& cursor = opened.value();

    const auto headEnds = [&](int line) {
        return SettingsError{
            file, cursor.line(),
            QStringLiteral("the file ends before line %1 (%2); its head needs eight lines: "
                           "the four picture files, the purge limit, the mail server, the "
                           "mail user and the mail password")
                .arg(line)
                .arg(headName(line))};
    };

    Settings into;
    QString* const pictureLines[] = {&into.backgroundPicture, &into.alarmBackgroundPicture,
                                     &into.dialPicture, &into.dialAlarmPicture};
    for (int i = 0; i < 4; ++i) {
        std::optional<QString> line = cursor.readLine();
        if (!line) {
            return headEnds(i + 1);
        }
        *pictureLines[i] = *std::move(line);
    }

    // The purge limit is a field, not a line: a comma after the number would end it there and
    // leave the rest of the line to the mail server.
    const int purgeLine = cursor.line();
    const Result<SettingsField, FieldFault> purge = cursor.readField();
    if (!purge.ok()) {
        if (purge.error() == FieldFault::NothingLeft) {
            return headEnds(5);
        }
        return SettingsError{file, purgeLine,
                             QStringLiteral("the purge limit opens a double quote that is "
                                            "never closed")};
    }
    // The purge compares tick counts with this value; a word here could never be compared,
    // so it is refused now rather than when the first purge falls due.
    const QString& purgeText = purge.value().text;
    if (!purgeText.isEmpty() && !looksLikeNumber(purgeText)) {
        return SettingsError{file, purgeLine,
                             QStringLiteral("expected a whole number (the purge limit, in "
                                            "30-second ticks), found \"%1\"")
                                 .arg(purgeText)};
    }
    into.purgeLimit = loose(purge.value());

    QString* const mailLines[] = {&into.mailServer, &into.mailUser, &into.mailPassword};
    for (int i = 0; i < 3; ++i) {
        std::optional<QString> line = cursor.readLine();
        if (!line) {
            return headEnds(6 + i);
        }
        *mailLines[i] = *std::move(line);
    }

    const QStringList names = {QStringLiteral("tag"), QStringLiteral("first pattern"),
                               QStringLiteral("second pattern"), QStringLiteral("message")};
    while (!cursor.onlyWhiteSpaceLeft()) {
        const int number = static_cast<int>(into.rules.size()) + 1;
        if (number > kMaxRules) {
            return SettingsError{file, cursor.line(),
                                 QStringLiteral("a rule record beyond the 200th; there is "
                                                "room for 200 rules")};
        }
        const auto record = readRecord(cursor, file, QStringLiteral("rule"), number, names);
        if (!record.ok()) {
            return record.error();
        }
        const std::vector<SettingsField>& f = record.value();
        // The message is shown, never compared as a number: it is taken as written.
        into.rules.push_back(AlarmRule{loose(f[0]), loose(f[1]), loose(f[2]), f[3].text});
    }
    return into;
}

Result<std::vector<ServerEntry>, SettingsError> parseServerIni(const QByteArray& bytes) {
    const QString file = QString::fromUtf16(kServerIni);
    Result<SettingsCursor, SettingsError> opened = openText(bytes, file);
    if (!opened.ok()) {
        return opened.error();
    }
    SettingsCursor& cursor = opened.value();

    const QStringList names = {QStringLiteral("name"), QStringLiteral("command")};
    std::vector<ServerEntry> servers;
    while (!cursor.onlyWhiteSpaceLeft()) {
        const int number = static_cast<int>(servers.size()) + 1;
        if (number > kMaxServers) {
            return SettingsError{file, cursor.line(),
                                 QStringLiteral("a server record beyond the 12th; the window "
                                                "has 12 dials")};
        }
        const auto record = readRecord(cursor, file, QStringLiteral("server"), number, names);
        if (!record.ok()) {
            return record.error();
        }
        servers.push_back(ServerEntry{loose(record.value()[0]), loose(record.value()[1])});
    }
    return servers;
}

// A picture path from kervo.ini as a path the process can open: relative paths are taken
// against the settings folder, empty stays empty (no picture).
QString picturePathIn(const QDir& folder, const QString& path) {
    if (path.isEmpty() || QDir::isAbsolutePath(path)) {
        return path;
    }
    return folder.absoluteFilePath(path);
}

void resolvePictures(Settings& settings, const QDir& folder) {
    for (QString* path : {&settings.backgroundPicture, &settings.alarmBackgroundPicture,
                          &settings.dialPicture, &settings.dialAlarmPicture}) {
        *path = picturePathIn(folder, *path);
    }
}

Result<QImage, SettingsError> loadStartPicture(const QString& path, int line) {
    Result<QImage> picture = loadPicture(path);
    if (!picture.ok()) {
        return SettingsError{QString::fromUtf16(kKervoIni), line,
                             QStringLiteral("the %1 does not load: %2")
                                 .arg(headName(line), picture.error().message)};
    }
    return std::move(picture).value();
}

}  // namespace

QString SettingsError::toText() const {
    if (line > 0) {
        return QStringLiteral("%1, line %2: %3").arg(file).arg(line).arg(what);
    }
    return QStringLiteral("%1: %2").arg(file, what);
}

Result<Settings, SettingsError> parseSettings(const QByteArray& kervoIni,
                                              const QByteArray& serverIni, const QDir& folder) {
    Result<Settings, SettingsError> settings = parseKervoIni(kervoIni);
    if (!settings.ok()) {
        return settings;
    }
    Result<std::vector<ServerEntry>, SettingsError> servers = parseServerIni(serverIni);
    if (!servers.ok()) {
        return servers.error();
    }
    settings.value().servers = std::move(servers).value();
    resolvePictures(settings.value(), folder);
    return settings;
}

Result<LoadedSettings, SettingsError> readSettings(const QDir& folder) {
    const Result<QByteArray, SettingsError> kervoIni =
        readBytes(folder, QString::fromUtf16(kKervoIni));
    if (!kervoIni.ok()) {
        return kervoIni.error();
    }
    Result<Settings, SettingsError> parsed = parseKervoIni(kervoIni.value());
    if (!parsed.ok()) {
        return parsed.error();
    }
    LoadedSettings loaded;
    loaded.settings = std::move(parsed).value();
    Settings& settings = loaded.settings;
    loaded.pictureLines = {settings.backgroundPicture, settings.alarmBackgroundPicture,
                           settings.dialPicture, settings.dialAlarmPicture};
    resolvePictures(settings, folder);

    Result<QImage, SettingsError> background = loadStartPicture(settings.backgroundPicture, 1);
    if (!background.ok()) {
        return background.error();
    }
    loaded.background = std::move(background).value();
    Result<QImage, SettingsError> dial = loadStartPicture(settings.dialPicture, 3);
    if (!dial.ok()) {
        return dial.error();
    }
    loaded.dial = std::move(dial).value();

    const Result<QByteArray, SettingsError> serverIni =
        readBytes(folder, QString::fromUtf16(kServerIni));
    if (!serverIni.ok()) {
        return serverIni.error();
    }
    Result<std::vector<ServerEntry>, SettingsError> servers = parseServerIni(serverIni.value());
    if (!servers.ok()) {
        return servers.error();
    }
    settings.servers = std::move(servers).value();
    return loaded;
}

}  // namespace kervo

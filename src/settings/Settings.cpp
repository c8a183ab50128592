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
std::variant<QByteArray, SettingsError> readBytes(const QDir& dir, const QString& name) {
    QFile file(dir.filePath(name));
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

std::variant<QString, SettingsError> decodeText(const QByteArray& bytes, const QString& name) {
    std::optional<QString> text = decodeSettingsText(bytes);
    if (!text) {
        return SettingsError{name, 0,
                             QStringLiteral("the file is not UTF-8, and this system has no CP932 "
                                            "(Shift-JIS) decoder to read it otherwise")};
    }
    return *std::move(text);
}

// Reads one record of fields.count() fields. A record the file cuts short, or a quote that is
// never closed, is an error naming the record's first line.
std::optional<SettingsError> readRecord(SettingsCursor& cursor, const QString& file,
                                        const QString& what, int number,
                                        const QStringList& fieldNames,
                                        std::vector<SettingsField>& fields) {
    const int recordLine = cursor.line();
    fields.assign(static_cast<size_t>(fieldNames.size()), SettingsField{});
    for (qsizetype i = 0; i < fieldNames.size(); ++i) {
        const int fieldLine = cursor.line();
        switch (cursor.readField(fields[static_cast<size_t>(i)])) {
            case FieldFault::None:
                break;
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
    return std::nullopt;
}

LooseValue loose(const SettingsField& field) {
    return LooseValue::fromField(field.text, field.quoted);
}

}  // namespace

QString SettingsError::toText() const {
    if (line > 0) {
        return QStringLiteral("%1, line %2: %3").arg(file).arg(line).arg(what);
    }
    return QStringLiteral("%1: %2").arg(file, what);
}

std::optional<SettingsError> parseKervoIni(const QByteArray& bytes, Settings& into) {
    const QString file = QString::fromUtf16(kKervoIni);
    auto read = decodeText(bytes, file);
    if (auto* error = std::get_if<SettingsError>(&read)) {
        return *error;
    }
    SettingsCursor cursor(std::get<QString>(std::move(read)));

    const auto headEnds = [&](int line) {
        return SettingsError{
            file, cursor.line(),
            QStringLiteral("the file ends before line %1 (%2); its head needs eight lines: "
                           "the four picture files, the purge limit, the mail server, the "
                           "mail user and the mail password")
                .arg(line)
                .arg(headName(line))};
    };

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
    SettingsField purge;
    switch (cursor.readField(purge)) {
        case FieldFault::None:
            break;
        case FieldFault::NothingLeft:
            return headEnds(5);
        case FieldFault::UnclosedQuote:
            return SettingsError{file, purgeLine,
                                 QStringLiteral("the purge limit opens a double quote that is "
                                                "never closed")};
    }
    // The purge compares tick counts with this value; a word here could never be compared,
    // so it is refused now rather than when the first purge falls due.
    if (!purge.text.isEmpty() && !looksLikeNumber(purge.text)) {
        return SettingsError{file, purgeLine,
                             QStringLiteral("expected a whole number (the purge limit, in "
                                            "30-second ticks), found \"%1\"")
                                 .arg(purge.text)};
    }
    into.purgeLimit = loose(purge);

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
    std::vector<AlarmRule> rules;
    std::vector<SettingsField> fields;
    while (!cursor.onlyWhiteSpaceLeft()) {
        const int number = static_cast<int>(rules.size()) + 1;
        if (number > kMaxRules) {
            return SettingsError{file, cursor.line(),
                                 QStringLiteral("a rule record beyond the 200th; there is "
                                                "room for 200 rules")};
        }
        if (auto error = readRecord(cursor, file, QStringLiteral("rule"), number, names, fields)) {
            return error;
        }
        // The message is shown, never compared as a number: it is taken as written.
        rules.push_back(
            AlarmRule{loose(fields[0]), loose(fields[1]), loose(fields[2]), fields[3].text});
    }
    into.rules = std::move(rules);
    return std::nullopt;
}

std::optional<SettingsError> parseServerIni(const QByteArray& bytes, Settings& into) {
    const QString file = QString::fromUtf16(kServerIni);
    auto read = decodeText(bytes, file);
    if (auto* error = std::get_if<SettingsError>(&read)) {
        return *error;
    }
    SettingsCursor cursor(std::get<QString>(std::move(read)));

    const QStringList names = {QStringLiteral("name"), QStringLiteral("command")};
    std::vector<ServerEntry> servers;
    std::vector<SettingsField> fields;
    while (!cursor.onlyWhiteSpaceLeft()) {
        const int number = static_cast<int>(servers.size()) + 1;
        if (number > kMaxServers) {
            return SettingsError{file, cursor.line(),
                                 QStringLiteral("a server record beyond the 12th; the window "
                                                "has 12 dials")};
        }
        if (auto error =
                readRecord(cursor, file, QStringLiteral("server"), number, names, fields)) {
            return error;
        }
        servers.push_back(ServerEntry{loose(fields[0]), loose(fields[1])});
    }
    into.servers = std::move(servers);
    return std::nullopt;
}

std::optional<SettingsError> readKervoIni(const QDir& dir, Settings& into) {
    auto read = readBytes(dir, QString::fromUtf16(kKervoIni));
    if (auto* error = std::get_if<SettingsError>(&read)) {
        return *error;
    }
    return parseKervoIni(std::get<QByteArray>(read), into);
}

std::optional<SettingsError> readServerIni(const QDir& dir, Settings& into) {
    auto read = readBytes(dir, QString::fromUtf16(kServerIni));
    if (auto* error = std::get_if<SettingsError>(&read)) {
        return *error;
    }
    return parseServerIni(std::get<QByteArray>(read), into);
}

SettingsRead parseSettings(const QByteArray& kervoIni, const QByteArray& serverIni) {
    Settings settings;
    if (auto error = parseKervoIni(kervoIni, settings)) {
        return *error;
    }
    if (auto error = parseServerIni(serverIni, settings)) {
        return *error;
    }
    return settings;
}

SettingsRead readSettings(const QDir& dir) {
    Settings settings;
    if (auto error = readKervoIni(dir, settings)) {
        return *error;
    }
    if (auto error = readServerIni(dir, settings)) {
        return *error;
    }
    return settings;
}

QString picturePathIn(const QDir& dir, const QString& path) {
    if (path.isEmpty() || QDir::isAbsolutePath(path)) {
        return path;
    }
    return dir.absoluteFilePath(path);
}

StartPicturesRead loadStartPictures(const Settings& settings, const QDir& dir) {
    const QString file = QString::fromUtf16(kKervoIni);
    Result<QImage> background = loadPicture(picturePathIn(dir, settings.backgroundPicture));
    if (!background.ok()) {
        return SettingsError{file, 1,
                             QStringLiteral("the %1 does not load: %2")
                                 .arg(headName(1), background.error().message)};
    }
    Result<QImage> dial = loadPicture(picturePathIn(dir, settings.dialPicture));
    if (!dial.ok()) {
        return SettingsError{
            file, 3,
            QStringLiteral("the %1 does not load: %2").arg(headName(3), dial.error().message)};
    }
    return StartPictures{std::move(background).value(), std::move(dial).value()};
}

}  // namespace kervo

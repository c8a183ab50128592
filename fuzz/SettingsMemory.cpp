#include "SettingsMemory.h"

#include <QStringList>

namespace kervo::fuzz {

namespace {

QString describe(const LooseValue& value) {
    if (value.isEmpty()) {
        return QStringLiteral("(empty)");
    }
    return (value.isNumber() ? QStringLiteral("number ") : QStringLiteral("text ")) +
           value.toText();
}

void compareValue(QStringList& out, const QString& what, const LooseValue& a, const LooseValue& b) {
    if (!(a == b)) {
        out.append(QStringLiteral("%1: %2 / %3").arg(what, describe(a), describe(b)));
    }
}

void compareText(QStringList& out, const QString& what, const QString& a, const QString& b) {
    if (a != b) {
        out.append(QStringLiteral("%1: \"%2\" / \"%3\"").arg(what, a, b));
    }
}

QString compareSettings(const Settings& a, const Settings& b) {
    QStringList out;
    compareText(out, QStringLiteral("background"), a.backgroundPicture, b.backgroundPicture);
    compareText(out, QStringLiteral("alarm background"), a.alarmBackgroundPicture,
                b.alarmBackgroundPicture);
    compareText(out, QStringLiteral("dial"), a.dialPicture, b.dialPicture);
    compareText(out, QStringLiteral("dial alarm"), a.dialAlarmPicture, b.dialAlarmPicture);
    compareValue(out, QStringLiteral("purge limit"), a.purgeLimit, b.purgeLimit);
    compareText(out, QStringLiteral("mail server"), a.mailServer, b.mailServer);
    compareText(out, QStringLiteral("mail user"), a.mailUser, b.mailUser);
    compareText(out, QStringLiteral("mail password"), a.mailPassword, b.mailPassword);
    if (a.rules.size() != b.rules.size()) {
        out.append(QStringLiteral("rule count %1 / %2").arg(a.rules.size()).arg(b.rules.size()));
    } else {
        for (size_t i = 0; i < a.rules.size(); ++i) {
            const QString n = QStringLiteral("rule %1 ").arg(i + 1);
            compareValue(out, n + QStringLiteral("tag"), a.rules[i].tag, b.rules[i].tag);
            compareValue(out, n + QStringLiteral("first"), a.rules[i].firstPattern,
                         b.rules[i].firstPattern);
            compareValue(out, n + QStringLiteral("second"), a.rules[i].secondPattern,
                         b.rules[i].secondPattern);
            compareText(out, n + QStringLiteral("message"), a.rules[i].message, b.rules[i].message);
        }
    }
    if (a.servers.size() != b.servers.size()) {
        out.append(
            QStringLiteral("server count %1 / %2").arg(a.servers.size()).arg(b.servers.size()));
    } else {
        for (size_t i = 0; i < a.servers.size(); ++i) {
            const QString n = QStringLiteral("server %1 ").arg(i);
            compareValue(out, n + QStringLiteral("name"), a.servers[i].name, b.servers[i].name);
            compareValue(out, n + QStringLiteral("command"), a.servers[i].command,
                         b.servers[i].command);
        }
    }
    return out.join(QStringLiteral("; "));
}

QString describe(const SettingsRead& read) {
    if (const auto* error = std::get_if<SettingsError>(&read)) {
        return QStringLiteral("error in %1 line %2 (%3)")
            .arg(error->file)
            .arg(error->line)
            .arg(error->what);
    }
    return QStringLiteral("settings");
}

}  // namespace

std::pair<QByteArray, QByteArray> splitSettingsInput(QByteArrayView input) {
    const qsizetype at = input.indexOf(QByteArrayView(kServerIniMarker));
    if (at < 0) {
        return {input.toByteArray(), QByteArray()};
    }
    return {input.first(at).toByteArray(),
            input.sliced(at + qsizetype(sizeof kServerIniMarker) - 1).toByteArray()};
}

QByteArray joinSettingsInput(const QByteArray& kervoIni, const QByteArray& serverIni) {
    return kervoIni + kServerIniMarker + serverIni;
}

SettingsRead readSettingsBytes(const QByteArray& kervoIni, const QByteArray& serverIni) {
    return parseSettings(kervoIni, serverIni);
}

QString compareSettingsReads(const SettingsRead& left, const SettingsRead& right) {
    const auto* a = std::get_if<Settings>(&left);
    const auto* b = std::get_if<Settings>(&right);
    if (a != nullptr && b != nullptr) {
        return compareSettings(*a, *b);
    }
    if (a == nullptr && b == nullptr) {
        const auto& x = std::get<SettingsError>(left);
        const auto& y = std::get<SettingsError>(right);
        if (x.file == y.file && x.line == y.line) {
            return {};
        }
    }
    return describe(left) + QStringLiteral(" / ") + describe(right);
}

}  // namespace kervo::fuzz

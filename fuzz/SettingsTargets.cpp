// The settings parser under fuzzing: the parser readSettings runs, and the cursor under it with
// its promises checked step by step.
#include <QDir>
#include <utility>

#include "FuzzTargets.h"
#include "settings/Settings.h"
#include "settings/SettingsText.h"

namespace kervo::fuzz {

namespace {

bool isBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

int lineEndsIn(const QString& text) {
    int count = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' ||
            (text[i] == u'\r' && (i + 1 >= text.size() || text[i + 1] != u'\n'))) {
            ++count;
        }
    }
    return count;
}

// Checks what a field promises to whoever stores it.
QString checkField(const SettingsField& field) {
    if (field.quoted) {
        if (field.text.contains(u'"')) {
            return QStringLiteral("a quoted field holds a double quote");
        }
    } else {
        if (field.text.contains(u'\r') || field.text.contains(u'\n') || field.text.contains(u',')) {
            return QStringLiteral("an unquoted field runs over its delimiter");
        }
        if (!field.text.isEmpty() && (isBlank(field.text.front()) || isBlank(field.text.back()))) {
            return QStringLiteral("an unquoted field keeps blanks at its ends");
        }
    }
    const LooseValue value = LooseValue::fromField(field.text, field.quoted);
    if (!field.quoted && looksLikeNumber(field.text) && !value.isNumber()) {
        return QStringLiteral("the unquoted number %1 is not read as a number").arg(field.text);
    }
    if (!field.text.isEmpty() && (field.quoted || !looksLikeNumber(field.text)) &&
        value.toText() != field.text) {
        return QStringLiteral("the text field %1 reads back as %2").arg(field.text, value.toText());
    }
    (void)value.toNumber();
    return {};
}

// Walks a text with the cursor, whole lines for the first `lines` steps and fields after
// them, checking every promise the cursor makes.
QString walk(const QString& text, int lines) {
    SettingsCursor cursor(text);
    const int lastLine = 1 + lineEndsIn(text);
    int previousLine = cursor.line();
    // Every read that succeeds takes at least one character, but for the one empty field a
    // trailing comma announces.
    const qsizetype maxSteps = text.size() + 2;
    for (qsizetype step = 0; step <= maxSteps; ++step) {
        const bool more = !cursor.onlyWhiteSpaceLeft();
        const int before = cursor.line();
        if (step < lines) {
            const std::optional<QString> line = cursor.readLine();
            if (!line) {
                return more ? QStringLiteral("a line is refused while text is left") : QString();
            }
            if (line->contains(u'\r') || line->contains(u'\n')) {
                return QStringLiteral("a whole line holds a line end");
            }
        } else {
            const Result<SettingsField, FieldFault> field = cursor.readField();
            if (!field.ok()) {
                if (cursor.line() != before) {
                    return QStringLiteral("a failed field moved the line from %1 to %2")
                        .arg(before)
                        .arg(cursor.line());
                }
                if (field.error() == FieldFault::NothingLeft && more) {
                    return QStringLiteral("the file is said to end while text is left");
                }
                return {};
            }
            if (QString problem = checkField(field.value()); !problem.isEmpty()) {
                return problem;
            }
        }
        if (cursor.line() < previousLine || cursor.line() > lastLine) {
            return QStringLiteral("line %1 after line %2 in a text of %3 lines")
                .arg(cursor.line())
                .arg(previousLine)
                .arg(lastLine);
        }
        previousLine = cursor.line();
    }
    return QStringLiteral("the cursor stopped making progress");
}

// Both settings files in one input: the bytes before the first marker are kervo.ini, the bytes
// after it server.ini (empty when there is no marker). scripts/fuzz.sh writes its seeds so.
std::pair<QByteArray, QByteArray> splitSettingsInput(QByteArrayView input) {
    constexpr QByteArrayView marker("<<server.ini>>");
    const qsizetype at = input.indexOf(marker);
    if (at < 0) {
        return {input.toByteArray(), QByteArray()};
    }
    return {input.first(at).toByteArray(), input.sliced(at + marker.size()).toByteArray()};
}

// What the parser promises whatever the bytes: no more records than the window has room for,
// and an error that names one of the two files and a line that exists in it.
QString checkParse(const Result<Settings, SettingsError>& parsed, const QByteArray& kervoIni,
                   const QByteArray& serverIni) {
    if (parsed.ok()) {
        const Settings& s = parsed.value();
        if (s.rules.size() > size_t(kMaxRules) || s.servers.size() > size_t(kMaxServers)) {
            return QStringLiteral("%1 rules and %2 servers accepted")
                .arg(s.rules.size())
                .arg(s.servers.size());
        }
        return {};
    }
    const SettingsError& error = parsed.error();
    const bool kervo = error.file == QString::fromUtf16(kKervoIni);
    if (!kervo && error.file != QString::fromUtf16(kServerIni)) {
        return QStringLiteral("an error names the file \"%1\"").arg(error.file);
    }
    const Result<QString> text = decodeSettingsText(kervo ? kervoIni : serverIni);
    const int lines = text.ok() ? 1 + lineEndsIn(text.value()) : 0;
    if (error.line < 0 || error.line > lines) {
        return QStringLiteral("an error names line %1 of a file of %2 lines")
            .arg(error.line)
            .arg(lines);
    }
    return {};
}

}  // namespace

QString runSettings(QByteArrayView input) {
    const auto [kervoIni, serverIni] = splitSettingsInput(input);
    const Result<Settings, SettingsError> parsed =
        parseSettings(kervoIni, serverIni, QDir(QStringLiteral("/settings")));
    if (QString problem = checkParse(parsed, kervoIni, serverIni); !problem.isEmpty()) {
        return problem;
    }
    for (const auto& [bytes, lines] : {std::pair{&kervoIni, 8}, std::pair{&serverIni, 0}}) {
        const Result<QString> text = decodeSettingsText(*bytes);
        if (!text.ok()) {
            continue;
        }
        // The parser's own order first, then fields only and lines only, which reach states
        // (a quote open across many lines, a comma at the very end) the order rarely does.
        for (const int firstLines : {lines, 0, int(text.value().size()) + 1}) {
            if (QString problem = walk(text.value(), firstLines); !problem.isEmpty()) {
                return problem;
            }
        }
    }
    return {};
}

}  // namespace kervo::fuzz

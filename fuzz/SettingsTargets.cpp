// The settings reader under fuzzing: the cursor's promises checked step by step, and the
// reader on real files held against the in-memory reading the fast target relies on.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "FuzzTargets.h"
#include "SettingsMemory.h"
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
            SettingsField field{QStringLiteral("\x01untouched"), true};
            const SettingsField sentinel = field;
            const FieldFault fault = cursor.readField(field);
            if (fault != FieldFault::None) {
                if (cursor.line() != before) {
                    return QStringLiteral("a failed field moved the line from %1 to %2")
                        .arg(before)
                        .arg(cursor.line());
                }
                if (field.text != sentinel.text || field.quoted != sentinel.quoted) {
                    return QStringLiteral("a failed field changed the field");
                }
                if (fault == FieldFault::NothingLeft && more) {
                    return QStringLiteral("the file is said to end while text is left");
                }
                return {};
            }
            if (QString problem = checkField(field); !problem.isEmpty()) {
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

const QDir& scratchFolder() {
    // One folder for the whole run, in memory where the system offers it.
    static const QTemporaryDir folder = [] {
        const QString shm = QStringLiteral("/dev/shm");
        return QFileInfo(shm).isWritable()
                   ? QTemporaryDir(shm + QStringLiteral("/kervo-fuzz-XXXXXX"))
                   : QTemporaryDir();
    }();
    static const QDir dir(folder.path());
    return dir;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
           file.write(bytes) == bytes.size();
}

}  // namespace

QString runSettingsText(QByteArrayView input) {
    const auto [kervoIni, serverIni] = splitSettingsInput(input);
    (void)readSettingsBytes(kervoIni, serverIni);
    for (const auto& [bytes, lines] : {std::pair{&kervoIni, 8}, std::pair{&serverIni, 0}}) {
        const std::optional<QString> text = decodeSettingsText(*bytes);
        if (!text) {
            continue;
        }
        // The reader's own order first, then fields only and lines only, which reach states
        // (a quote open across many lines, a comma at the very end) the order rarely does.
        for (const int firstLines : {lines, 0, int(text->size()) + 1}) {
            if (QString problem = walk(*text, firstLines); !problem.isEmpty()) {
                return problem;
            }
        }
    }
    return {};
}

QString runSettingsFiles(QByteArrayView input) {
    const auto [kervoIni, serverIni] = splitSettingsInput(input);
    const QDir& dir = scratchFolder();
    if (!writeFile(dir.filePath(QString::fromUtf16(kKervoIni)), kervoIni) ||
        !writeFile(dir.filePath(QString::fromUtf16(kServerIni)), serverIni)) {
        return QStringLiteral("cannot write the settings files into %1").arg(dir.path());
    }
    const SettingsRead fromFiles = readSettings(dir);
    const QString difference =
        compareSettingsReads(fromFiles, readSettingsBytes(kervoIni, serverIni));
    if (!difference.isEmpty()) {
        return QStringLiteral("readSettings and the in-memory reading differ: ") + difference;
    }
    return {};
}

}  // namespace kervo::fuzz

#include "mail/mime/ReadMailCommand.h"

#include "app/TextSafety.h"
#include "mail/mime/MimeReader.h"

namespace kervo {

namespace {

// A subject or a file name stays on its one line, so that it cannot fake the separators.
QString oneLine(const QString& text) {
    QString out = displaySafe(text);
    out.replace(u'\r', QChar(0x240d));  // ␍
    out.replace(u'\n', QChar(0x240a));  // ␊
    return out;
}

}  // namespace

int runReadMailCommand(const QStringList& files, QTextStream& out, QTextStream& err) {
    // The name the analysis asks the mail component for.
    const QString subjectHeader = QStringLiteral("subject:");
    int result = 0;
    for (const QString& file : files) {
        const MailFileRead read = readMailFile(file, subjectHeader);
        if (read.failed()) {
            err << oneLine(read.error) << '\n';
            result = 1;
            continue;
        }
        const MailTexts& texts = read.texts;
        out << "===== " << oneLine(file) << " =====\n";
        out << "Subject: " << oneLine(texts.header) << '\n';
        out << "----- body -----\n";
        out << displaySafe(texts.body);
        if (!texts.body.endsWith(u'\n')) {
            out << '\n';
        }
        out << "----- end -----\n";
    }
    out.flush();
    err.flush();
    return result;
}

}  // namespace kervo

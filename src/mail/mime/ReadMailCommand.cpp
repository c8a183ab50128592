#include "mail/mime/ReadMailCommand.h"

#include "app/TextSafety.h"
#include "mail/mime/MimeReader.h"

namespace kervo {

int runReadMailCommand(const QStringList& files, QTextStream& out, QTextStream& err) {
    // The name the analysis asks the mail component for.
    const QString subjectHeader = QStringLiteral("subject:");
    int result = 0;
    // A subject or a file name stays on its one line, so that it cannot fake the separators.
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

#include "mail/mime/ReadMailTool.h"

#include "app/TextSafety.h"
#include "mail/mime/MimeReader.h"

namespace kervo {

int runReadMailTool(const QStringList& files, QTextStream& out, QTextStream& err) {
    int result = 0;
    // A subject or a file name stays on its one line, so that it cannot fake the separators.
    for (const QString& file : files) {
        const Result<MailTexts> read = readMailFile(file);
        if (!read.ok()) {
            err << oneLine(read.error().message) << '\n';
            result = 1;
            continue;
        }
        const MailTexts& texts = read.value();
        out << "===== " << oneLine(file) << " =====\n";
        out << "Subject: " << oneLine(texts.subject) << '\n';
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

// The mail reader under fuzzing: whole saved mails, and header values on their own.
#include "FuzzTargets.h"
#include "mail/mime/MimeReader.h"

namespace kervo::fuzz {

namespace {

QString bareLineFeed(const QString& text) {
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n' && (i == 0 || text[i - 1] != u'\r')) {
            return QStringLiteral("a line feed without its carriage return at %1").arg(i);
        }
    }
    return {};
}

bool printableAscii(QByteArrayView bytes) {
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if ((u < 0x20 && c != '\t' && c != '\r' && c != '\n') || u > 0x7e) {
            return false;
        }
    }
    return true;
}

}  // namespace

QString runMime(QByteArrayView input) {
    const MailTexts texts = readMailBytes(input.toByteArray());
    // The body is shown and searched with CR LF line ends, whatever the mail used.
    if (QString problem = bareLineFeed(texts.body); !problem.isEmpty()) {
        return QStringLiteral("body: ") + problem;
    }
    return {};
}

QString runHeader(QByteArrayView input) {
    const QByteArray raw = input.toByteArray();
    (void)decodeHeaderValue(raw);
    const QString unlabelled = decodeUnlabelled(raw);
    // Plain ASCII is valid in every charset the guess chooses from, and means the same in each.
    if (printableAscii(raw) && unlabelled != QString::fromLatin1(raw)) {
        return QStringLiteral("plain ASCII read as something else: \"%1\"").arg(unlabelled);
    }
    return {};
}

}  // namespace kervo::fuzz

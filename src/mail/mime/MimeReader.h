#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

#include "app/Result.h"
#include "mail/mime/MailSize.h"

namespace kervo {

// The two texts the analysis reads from one mail.
struct MailTexts {
    QString subject;  // the decoded Subject, without its name; empty if absent
    QString body;     // the body as text: text/plain preferred, HTML reduced to text otherwise
};

// Reads a saved mail, at most its first maxBytes. Whatever the bytes, a file that can be read gives
// its texts: one the MIME parser cannot make sense of gives the subject found in its raw header
// lines and the text after them (all of it when there are none) as text of a guessed charset. Fails
// only when the file cannot be read at this moment (missing, not a regular file, out of file
// handles, a read error); the Error names the file. Never crashes on any bytes. A mail over 1 MB is
// parsed from the file as it lies, not from a copy: memory grows with the text found, not with
// the file; a smaller one is read into memory whole in one go.
Result<MailTexts> readMailFile(const QString& path, qint64 maxBytes = kMaxMailBytes);
[[nodiscard]] MailTexts readMailBytes(const QByteArray& raw);

// A raw header value (unfolded or not) to text: RFC 2047 encoded words, adjacent words of one
// charset joined before conversion, raw 8-bit text guessed.
QString decodeHeaderValue(const QByteArray& raw);

// Text of unknown charset: UTF-8, ISO-2022-JP, EUC-JP or CP932, whichever fits.
QString decodeUnlabelled(const QByteArray& bytes);

// Bytes in a named charset to text; Shift_JIS and its aliases use the CP932 mapping.
std::optional<QString> decodeCharset(const QByteArray& bytes, const QByteArray& charset);

}  // namespace kervo

#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace kervo {

// The two texts the analysis reads from one mail.
struct MailTexts {
    QString header;  // decoded value of the requested header, without its name; empty if absent
    QString body;    // the body as text: text/plain preferred, HTML reduced to text otherwise
};

// Reads a saved mail. headerName is given as the analysis asks for it, e.g. "subject:" (case
// and the trailing colon do not matter). Nothing for a file that cannot be read. Never crashes
// on any bytes.
std::optional<MailTexts> readMailFile(const QString& path, const QString& headerName);
std::optional<MailTexts> readMailBytes(const QByteArray& raw, const QString& headerName);

// A raw header value (unfolded or not) to text: RFC 2047 encoded words, adjacent words of one
// charset joined before conversion, raw 8-bit text guessed.
QString decodeHeaderValue(const QByteArray& raw);

// Text of unknown charset: UTF-8, ISO-2022-JP, EUC-JP or CP932, whichever fits.
QString decodeUnlabelled(const QByteArray& bytes);

// Bytes in a named charset to text; Shift_JIS and its aliases use the CP932 mapping.
std::optional<QString> decodeCharset(const QByteArray& bytes, const QByteArray& charset);

}  // namespace kervo

#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace kervo::mime {

// The charsets the reader treats itself; everything else goes to the converter by name.
enum class Charset { Ascii, Utf8, Iso2022Jp, EucJp, Cp932 };

// Decoded text and how many byte sequences could not be converted (each became U+FFFD).
struct Decoded {
    QString text;
    qsizetype errors = 0;
};

// spare: room for that many more characters kept in the text, for the caller to grow it in place.
Decoded decodeAs(Charset charset, const QByteArray& bytes, qsizetype spare = 0);

// Which of the known charsets the bytes are most likely written in. A long text is weighed in
// pieces, never decoded whole.
Charset guessCharset(const QByteArray& bytes);

// How many byte sequences would not convert in the charset, counted piece by piece.
qsizetype errorsAs(Charset charset, const QByteArray& bytes);

// A label reduced to what identifies the charset: case, punctuation, quotes and an RFC 2231
// language suffix ("*ja") do not matter.
QByteArray charsetKey(const QByteArray& charset);

// Bytes in a labelled charset; nothing when the label is unknown.
std::optional<Decoded> decodeLabelled(const QByteArray& bytes, const QByteArray& charset,
                                      qsizetype spare = 0);

// What the reader does with a label found in a mail: the label when it is known and the bytes
// fit it; a guess when the label is unknown, or when the bytes break the label but fit a guess
// cleanly (mislabelled 8-bit text is common in machine-sent mail).
QString decodeTrusting(const QByteArray& bytes, const QByteArray& charset, qsizetype spare = 0);

}  // namespace kervo::mime

// Which charset unlabelled bytes are written in, weighed without ever decoding a long text whole.
#include <QString>
#include <algorithm>
#include <array>
#include <string_view>

#include "mail/mime/CharsetDecoding.h"

namespace kervo::mime {

namespace {

bool hasIso2022Escape(const QByteArray& bytes) {
    static constexpr std::array<std::string_view, 7> escapes = {
        "\x1b$B", "\x1b$@", "\x1b(B", "\x1b(J", "\x1b(I", "\x1b$(D", "\x1b$(Q"};
    for (const std::string_view e : escapes) {
        if (bytes.contains(QByteArrayView(e.data(), qsizetype(e.size())))) {
            return true;
        }
    }
    return false;
}

// How much a decoding looks like Japanese prose: kana and Japanese punctuation weigh most,
// kanji next; half-width kana weigh less because mail rarely carries them, while EUC-JP text
// read as CP932 turns into little else.
int japaneseScore(const QString& text) {
    int score = 0;
    for (const QChar qc : text) {
        const char16_t c = qc.unicode();
        if (c < 0x80) {
            continue;
        }
        if ((c >= 0x3000 && c <= 0x30ff) || (c >= 0xff01 && c <= 0xff5e)) {
            score += 12;
        } else if (c >= 0x4e00 && c <= 0x9fff) {
            score += 8;
        } else if (c >= 0xff61 && c <= 0xff9f) {
            score += 3;
        } else if ((c >= 0x0391 && c <= 0x04ff) || (c >= 0x2000 && c <= 0x2bff) ||
                   (c >= 0x3200 && c <= 0x33ff) || c == 0xffe0 || c == 0xffe1 || c == 0xffe2 ||
                   c == 0xffe4 || c == 0xffe5) {
            score += 4;
        }
    }
    return score;
}

// The bytes in pieces of about a megabyte, each ending after a line feed. No character of the
// guessed charsets spans a line feed, so each piece decodes as it would inside the whole, while
// a guess over a long text never holds more than one piece's decodings. f returns false to stop.
template <typename F>
void forEachPiece(const QByteArray& bytes, F f) {
    constexpr qsizetype kPiece = qsizetype(1) << 20;
    qsizetype begin = 0;
    while (begin < bytes.size()) {
        qsizetype end = bytes.size();
        if (bytes.size() - begin > kPiece) {
            const qsizetype lf = bytes.indexOf('\n', begin + kPiece);
            end = lf < 0 ? bytes.size() : lf + 1;
        }
        if (!f(QByteArray::fromRawData(bytes.constData() + begin, end - begin))) {
            return;
        }
        begin = end;
    }
}

}  // namespace

Charset guessCharset(const QByteArray& bytes) {
    const bool eightBit =
        std::any_of(bytes.cbegin(), bytes.cend(), [](char c) { return uchar(c) >= 0x80; });
    if (!eightBit) {
        return hasIso2022Escape(bytes) ? Charset::Iso2022Jp : Charset::Ascii;
    }
    bool utf8 = true;
    forEachPiece(bytes, [&utf8](const QByteArray& piece) {
        utf8 = decodeAs(Charset::Utf8, piece).errors == 0;
        return utf8;
    });
    if (utf8) {
        return Charset::Utf8;
    }
    qsizetype eucErrors = 0;
    qsizetype sjisErrors = 0;
    qint64 eucScore = 0;
    qint64 sjisScore = 0;
    forEachPiece(bytes, [&](const QByteArray& piece) {
        const Decoded euc = decodeAs(Charset::EucJp, piece);
        eucErrors += euc.errors;
        eucScore += japaneseScore(euc.text);
        const Decoded sjis = decodeAs(Charset::Cp932, piece);
        sjisErrors += sjis.errors;
        sjisScore += japaneseScore(sjis.text);
        return true;
    });
    if (eucErrors != sjisErrors) {
        return eucErrors < sjisErrors ? Charset::EucJp : Charset::Cp932;
    }
    return eucScore > sjisScore ? Charset::EucJp : Charset::Cp932;
}

qsizetype errorsAs(Charset charset, const QByteArray& bytes) {
    qsizetype errors = 0;
    forEachPiece(bytes, [&](const QByteArray& piece) {
        errors += decodeAs(charset, piece).errors;
        return true;
    });
    return errors;
}

}  // namespace kervo::mime

#include "mail/mime/HeaderDecoding.h"

#include <algorithm>
#include <vector>

#include "mail/mime/CharsetDecoding.h"
#include "mail/mime/MimeReader.h"

namespace kervo::mime {

namespace {

bool isWsp(char c) {
    return c == ' ' || c == '\t';
}
bool isLineBreak(char c) {
    return c == '\r' || c == '\n';
}

// One line of the header block, without its line break.
struct Line {
    qsizetype begin;
    qsizetype end;   // end of the text
    qsizetype next;  // start of the following line
};

Line lineAt(const QByteArray& data, qsizetype begin) {
    qsizetype lf = data.indexOf('\n', begin);
    const qsizetype next = lf < 0 ? data.size() : lf + 1;
    qsizetype end = lf < 0 ? data.size() : lf;
    if (end > begin && data[end - 1] == '\r') {
        --end;
    }
    return {begin, end, next};
}

// An encoded word or a stretch of text between encoded words.
struct Piece {
    bool encoded = false;
    QByteArray charset;  // encoded words only
    QByteArray bytes;    // decoded payload, or the raw text
};

int base64Value(char c) {
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= 'a' && c <= 'z') {
        return c - 'a' + 26;
    }
    if (c >= '0' && c <= '9') {
        return c - '0' + 52;
    }
    if (c == '+') {
        return 62;
    }
    if (c == '/') {
        return 63;
    }
    return -1;
}

// Each word carries its own padding, so a word ends its base64 quantum; anything after the
// padding other than more padding makes the word malformed.
std::optional<QByteArray> decodeB(QByteArrayView text) {
    QByteArray out;
    unsigned int bits = 0;
    int bitCount = 0;
    bool padding = false;
    for (const char c : text) {
        if (c == '=') {
            padding = true;
            continue;
        }
        const int v = base64Value(c);
        if (v < 0 || padding) {
            return std::nullopt;
        }
        bits = (bits << 6) | unsigned(v);
        bitCount += 6;
        if (bitCount >= 8) {
            bitCount -= 8;
            out.append(char((bits >> bitCount) & 0xff));
        }
    }
    return out;
}

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// An '=' without two hex digits is kept as written rather than rejecting the whole word.
QByteArray decodeQ(QByteArrayView text) {
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '_') {
            out.append(' ');
        } else if (c == '=' && i + 2 < text.size() && hexValue(text[i + 1]) >= 0 &&
                   hexValue(text[i + 2]) >= 0) {
            out.append(char(hexValue(text[i + 1]) * 16 + hexValue(text[i + 2])));
            i += 2;
        } else {
            out.append(c);
        }
    }
    return out;
}

// An encoded word found in a header, and where the text after it starts.
struct EncodedWord {
    Piece piece;
    qsizetype end = 0;
};

// Parses "=?charset?X?text?=" at pos; nothing when no well-formed encoded word starts there.
std::optional<EncodedWord> parseEncodedWord(const QByteArray& s, qsizetype pos) {
    constexpr qsizetype kMaxCharsetLength = 64;
    qsizetype i = pos + 2;
    const qsizetype charsetBegin = i;
    while (i < s.size() && s[i] != '?') {
        const uchar c = uchar(s[i]);
        if (c <= ' ' || c >= 0x7f || i - charsetBegin >= kMaxCharsetLength) {
            return std::nullopt;
        }
        ++i;
    }
    if (i == charsetBegin || i + 2 >= s.size() || s[i + 2] != '?') {
        return std::nullopt;
    }
    const char encoding = s[i + 1];
    const qsizetype textBegin = i + 3;
    qsizetype textEnd = textBegin;
    while (textEnd < s.size() && s[textEnd] != '?') {
        const uchar c = uchar(s[textEnd]);
        if (c <= ' ' || c >= 0x7f) {
            return std::nullopt;
        }
        ++textEnd;
    }
    if (textEnd + 1 >= s.size() || s[textEnd + 1] != '=') {
        return std::nullopt;
    }
    const QByteArrayView text(s.constData() + textBegin, textEnd - textBegin);
    Piece piece;
    if (encoding == 'B' || encoding == 'b') {
        auto bytes = decodeB(text);
        if (!bytes) {
            return std::nullopt;
        }
        piece.bytes = std::move(*bytes);
    } else if (encoding == 'Q' || encoding == 'q') {
        piece.bytes = decodeQ(text);
    } else {
        return std::nullopt;
    }
    piece.encoded = true;
    piece.charset = s.mid(charsetBegin, i - charsetBegin);
    return EncodedWord{std::move(piece), textEnd + 2};
}

std::vector<Piece> splitPieces(const QByteArray& s) {
    std::vector<Piece> pieces;
    QByteArray text;
    qsizetype i = 0;
    while (i < s.size()) {
        std::optional<EncodedWord> word;
        if (s[i] == '=' && i + 1 < s.size() && s[i + 1] == '?') {
            word = parseEncodedWord(s, i);
        }
        if (word) {
            if (!text.isEmpty()) {
                pieces.push_back({false, {}, std::move(text)});
                text.clear();
            }
            pieces.push_back(std::move(word->piece));
            i = word->end;
            continue;
        }
        text.append(s[i]);
        ++i;
    }
    if (!text.isEmpty()) {
        pieces.push_back({false, {}, std::move(text)});
    }
    return pieces;
}

bool onlyWhitespace(const QByteArray& bytes) {
    return std::all_of(bytes.cbegin(), bytes.cend(),
                       [](char c) { return isWsp(c) || isLineBreak(c); });
}

// Whitespace between encoded words goes; words of one charset are joined as bytes, because
// mailers split ISO-2022-JP and multi-byte characters across words wherever the length ran out.
std::vector<Piece> joinAdjacentWords(std::vector<Piece> pieces) {
    std::vector<Piece> out;
    for (size_t i = 0; i < pieces.size(); ++i) {
        Piece& p = pieces[i];
        if (!p.encoded && onlyWhitespace(p.bytes) && i > 0 && i + 1 < pieces.size() &&
            pieces[i - 1].encoded && pieces[i + 1].encoded) {
            continue;
        }
        if (p.encoded && !out.empty() && out.back().encoded &&
            charsetKey(out.back().charset) == charsetKey(p.charset)) {
            out.back().bytes.append(p.bytes);
            continue;
        }
        out.push_back(std::move(p));
    }
    return out;
}

}  // namespace

QByteArray normalisedHeaderName(const QString& name) {
    QByteArray out = name.trimmed().toLatin1().toLower();
    while (out.endsWith(':')) {
        out.chop(1);
    }
    return out.trimmed();
}

std::optional<QByteArray> findRawHeader(const QByteArray& message, const QString& name) {
    const QByteArray wanted = normalisedHeaderName(name);
    if (wanted.isEmpty()) {
        return std::nullopt;
    }
    qsizetype pos = 0;
    if (message.startsWith("From ")) {
        pos = lineAt(message, 0).next;
    }
    bool inWanted = false;
    QByteArray value;
    while (pos < message.size()) {
        const Line line = lineAt(message, pos);
        if (line.end == line.begin) {
            break;  // the empty line that ends the header block
        }
        if (isWsp(message[line.begin])) {
            if (inWanted) {
                value.append("\r\n");
                value.append(message.constData() + line.begin, line.end - line.begin);
            }
        } else if (inWanted) {
            return value;
        } else {
            const qsizetype colon = message.indexOf(':', line.begin);
            if (colon >= 0 && colon < line.end) {
                const QByteArray headerName =
                    message.mid(line.begin, colon - line.begin).trimmed().toLower();
                if (headerName == wanted) {
                    inWanted = true;
                    value = message.mid(colon + 1, line.end - colon - 1);
                }
            }
        }
        pos = line.next;
    }
    if (inWanted) {
        return value;
    }
    return std::nullopt;
}

QByteArray unfoldHeader(const QByteArray& raw) {
    QByteArray out;
    out.reserve(raw.size());
    for (qsizetype i = 0; i < raw.size(); ++i) {
        const char c = raw[i];
        if (isLineBreak(c)) {
            qsizetype j = i;
            if (c == '\r' && j + 1 < raw.size() && raw[j + 1] == '\n') {
                ++j;
            }
            if (j + 1 < raw.size() && isWsp(raw[j + 1])) {
                i = j;  // a folding break: the whitespace after it stays
                continue;
            }
        }
        out.append(c);
    }
    qsizetype begin = 0;
    while (begin < out.size() && isWsp(out[begin])) {
        ++begin;
    }
    qsizetype end = out.size();
    while (end > begin && isLineBreak(out[end - 1])) {
        --end;
    }
    return out.mid(begin, end - begin);
}

}  // namespace kervo::mime

namespace kervo {

QString decodeHeaderValue(const QByteArray& raw) {
    using namespace mime;
    const std::vector<Piece> pieces = joinAdjacentWords(splitPieces(unfoldHeader(raw)));

    // Raw 8-bit text is guessed as a whole: one header is written in one charset, and the
    // longer the sample, the surer the guess.
    QByteArray rawText;
    for (const Piece& p : pieces) {
        if (!p.encoded) {
            rawText.append(p.bytes);
        }
    }
    const Charset rawCharset = guessCharset(rawText);

    QString out;
    for (const Piece& p : pieces) {
        out.append(p.encoded ? decodeTrusting(p.bytes, p.charset)
                             : decodeAs(rawCharset, p.bytes).text);
    }
    return out;
}

}  // namespace kervo

#include "mail/mime/CharsetDecoding.h"

#include <QStringDecoder>
#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <vector>

#include "mail/mime/MimeReader.h"

namespace kervo::mime {

namespace {

constexpr char16_t kReplacement = 0xfffd;

// The converter's name for the Windows table: ICU's plain "Shift_JIS" happens to resolve to the
// same table here, but only the Windows name promises ① ㈱ Ⅰ and ～ as U+FF5E.
constexpr const char* kCp932Name = "windows-31j";
// EUC-JP as the converter knows it already maps like the Windows table (～ as U+FF5E, NEC row 13).
constexpr const char* kEucJpName = "EUC-JP";
// The -2 variant accepts every escape a Japanese mailer writes (JIS X 0201 kana, JIS X 0212,
// redundant escapes) where the strict one reports errors.
constexpr const char* kIso2022JpName = "ISO-2022-JP-2";

bool inRange(uchar c, uchar low, uchar high) {
    return c >= low && c <= high;
}

// A NUL would end the text early for any C-string consumer down the line.
void replaceNuls(QString& text) {
    text.replace(QChar(u'\0'), QChar(kReplacement));
}

// Decodes runs of complete multi-byte characters through the converter, one call per run. Every
// character in a run maps to one UTF-16 unit or to a substitute; the converter's substitutes
// (U+FFFD, and SUB-like control codes in the IBM-derived tables) count as errors. If the
// converter ever disagrees about where characters start, each character is converted on its own.
class RunCollector {
  public:
    RunCollector(const char* converter, Decoded& out)
        : converter_(converter),
          decoder_(converter, QStringConverter::Flag::Stateless),
          out_(out) {}

    void add(const char* bytes, qsizetype length) {
        starts_.push_back(run_.size());
        run_.append(bytes, length);
    }

    void flush() {
        if (run_.isEmpty()) {
            return;
        }
        const QString text = decoder_.decode(run_);
        if (text.size() == qsizetype(starts_.size())) {
            for (const QChar c : text) {
                appendChecked(c);
            }
        } else {
            convertOneByOne();
        }
        run_.clear();
        starts_.clear();
    }

  private:
    void appendChecked(QChar c) {
        if (c.unicode() == kReplacement || c.unicode() < 0x80) {
            out_.text.append(QChar(kReplacement));
            ++out_.errors;
        } else {
            out_.text.append(c);
        }
    }

    void convertOneByOne() {
        for (size_t i = 0; i < starts_.size(); ++i) {
            const qsizetype end = i + 1 < starts_.size() ? starts_[i + 1] : run_.size();
            QStringDecoder single(converter_, QStringConverter::Flag::Stateless);
            const QString one = single.decode(run_.mid(starts_[i], end - starts_[i]));
            if (one.size() == 1) {
                appendChecked(one.front());
            } else {
                out_.text.append(QChar(kReplacement));
                ++out_.errors;
            }
        }
    }

    const char* converter_;
    QStringDecoder decoder_;  // stateless: every run starts afresh
    Decoded& out_;
    QByteArray run_;
    std::vector<qsizetype> starts_;
};

void appendHalfWidthKana(uchar c, Decoded& out) {
    out.text.append(QChar(char16_t(0xff61 + c - 0xa1)));
}

void appendInvalid(Decoded& out) {
    out.text.append(QChar(kReplacement));
    ++out.errors;
}

// ASCII bytes are taken as they are rather than through the converter: the IBM-derived CP932
// table swaps 0x1A, 0x1C and 0x7F with one another.
Decoded decodeCp932(const QByteArray& bytes, qsizetype spare) {
    Decoded out;
    out.text.reserve(bytes.size() + spare);
    RunCollector run(kCp932Name, out);
    const qsizetype n = bytes.size();
    for (qsizetype i = 0; i < n; ++i) {
        const uchar c = uchar(bytes[i]);
        const bool lead = inRange(c, 0x81, 0x9f) || inRange(c, 0xe0, 0xfc);
        if (lead && i + 1 < n) {
            const uchar t = uchar(bytes[i + 1]);
            if (inRange(t, 0x40, 0x7e) || inRange(t, 0x80, 0xfc)) {
                run.add(bytes.constData() + i, 2);
                ++i;
                continue;
            }
        }
        run.flush();
        if (c < 0x80) {
            out.text.append(QChar(char16_t(c)));
        } else if (inRange(c, 0xa1, 0xdf)) {
            appendHalfWidthKana(c, out);
        } else {
            appendInvalid(out);
        }
    }
    run.flush();
    return out;
}

Decoded decodeEucJp(const QByteArray& bytes, qsizetype spare) {
    Decoded out;
    out.text.reserve(bytes.size() + spare);
    RunCollector run(kEucJpName, out);
    const qsizetype n = bytes.size();
    auto high = [&bytes, n](qsizetype i) { return i < n && inRange(uchar(bytes[i]), 0xa1, 0xfe); };
    for (qsizetype i = 0; i < n; ++i) {
        const uchar c = uchar(bytes[i]);
        if (high(i) && high(i + 1)) {
            run.add(bytes.constData() + i, 2);
            ++i;
            continue;
        }
        if (c == 0x8f && high(i + 1) && high(i + 2)) {
            run.add(bytes.constData() + i, 3);
            i += 2;
            continue;
        }
        run.flush();
        if (c < 0x80) {
            out.text.append(QChar(char16_t(c)));
        } else if (c == 0x8e && i + 1 < n && inRange(uchar(bytes[i + 1]), 0xa1, 0xdf)) {
            appendHalfWidthKana(uchar(bytes[i + 1]), out);
            ++i;
        } else {
            appendInvalid(out);
        }
    }
    run.flush();
    return out;
}

// Counts the substitutes a converter produced, without counting U+FFFD the input really held.
qsizetype substituteCount(const QString& text, qsizetype genuine) {
    const qsizetype all = text.count(QChar(kReplacement));
    return std::max<qsizetype>(1, all - genuine);
}

// The converter writes straight into a text of the size it may need plus spare, instead of into
// a string of its own that a caller adding line ends would have to move.
QString convert(QStringDecoder& decoder, const QByteArray& bytes, qsizetype spare) {
    QString text;
    const qsizetype needed = decoder.requiredSpace(bytes.size());
    text.reserve(needed + spare);
    text.resize(needed);
    const QChar* end = decoder.appendToBuffer(text.data(), bytes);
    text.resize(end - text.constData());
    return text;
}

Decoded decodeWithConverter(QStringDecoder& decoder, const QByteArray& bytes, qsizetype spare) {
    Decoded out{convert(decoder, bytes, spare), 0};
    if (decoder.hasError()) {
        out.errors = substituteCount(out.text, 0);
    }
    return out;
}

Decoded decodeIso2022Jp(const QByteArray& bytes, qsizetype spare) {
    // JIS X 0201 Roman differs from ASCII only in ¥ and ‾ for \ and ~; Japanese mailers use its
    // escape as a plain "back to ASCII", and paths and patterns expect the ASCII characters.
    QByteArray ascii = bytes;
    ascii.replace(QByteArrayView("\x1b(J"), QByteArrayView("\x1b(B"));
    QStringDecoder decoder(kIso2022JpName, QStringConverter::Flag::Stateless);
    return decodeWithConverter(decoder, ascii, spare);
}

Decoded decodeUtf8(const QByteArray& bytes, qsizetype spare) {
    QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    Decoded out{convert(decoder, bytes, spare), 0};
    if (decoder.hasError()) {
        // U+FFFD written in the text itself is no error; only counted when there are errors.
        out.errors = substituteCount(out.text, bytes.count(QByteArrayView("\xef\xbf\xbd")));
    }
    return out;
}

// Eight bytes at a time: a report of megabytes is checked at the speed of memory.
bool isAllAscii(QByteArrayView bytes) {
    constexpr quint64 kHighBits = 0x8080808080808080ULL;
    const qsizetype whole = bytes.size() / 8 * 8;
    quint64 high = 0;
    for (qsizetype i = 0; i < whole; i += 8) {
        quint64 word = 0;
        std::memcpy(&word, bytes.data() + i, sizeof word);
        high |= word;
    }
    for (qsizetype i = whole; i < bytes.size(); ++i) {
        high |= uchar(bytes[i]);
    }
    return (high & kHighBits) == 0;
}

Decoded decodeAscii(const QByteArray& bytes, qsizetype spare) {
    Decoded out;
    out.text.reserve(bytes.size() + spare);
    if (isAllAscii(bytes)) {
        out.text.append(QLatin1StringView(bytes));
        return out;
    }
    for (const char b : bytes) {
        const uchar c = uchar(b);
        if (c < 0x80) {
            out.text.append(QChar(char16_t(c)));
        } else {
            appendInvalid(out);
        }
    }
    return out;
}

}  // namespace

QByteArray charsetKey(const QByteArray& charset) {
    QByteArray out;
    for (const char c : charset.trimmed()) {
        if (c == '*') {
            break;  // an RFC 2231 language suffix
        }
        if (c != '-' && c != '_' && c != '.' && c != ' ' && c != '"' && c != '\'') {
            out.append(char(QChar::toLower(uint(uchar(c)))));
        }
    }
    return out;
}

namespace {

std::optional<Charset> knownCharset(const QByteArray& compact) {
    using Entry = std::pair<std::string_view, Charset>;
    static constexpr std::array<Entry, 34> names = {{
        {"shiftjis", Charset::Cp932},
        {"sjis", Charset::Cp932},
        {"xsjis", Charset::Cp932},
        {"mskanji", Charset::Cp932},
        {"windows31j", Charset::Cp932},
        {"cp932", Charset::Cp932},
        {"ms932", Charset::Cp932},
        {"windows932", Charset::Cp932},
        {"xmscp932", Charset::Cp932},
        {"csshiftjis", Charset::Cp932},
        {"cswindows31j", Charset::Cp932},
        {"xsjisopen", Charset::Cp932},
        {"eucjp", Charset::EucJp},
        {"xeucjp", Charset::EucJp},
        {"cseucpkdfmtjapanese", Charset::EucJp},
        {"cp51932", Charset::EucJp},
        {"eucjpms", Charset::EucJp},
        {"eucjpwin", Charset::EucJp},
        {"iso2022jp", Charset::Iso2022Jp},
        {"iso2022jp1", Charset::Iso2022Jp},
        {"iso2022jp2", Charset::Iso2022Jp},
        {"iso2022jp3", Charset::Iso2022Jp},
        {"iso2022jp2004", Charset::Iso2022Jp},
        {"csiso2022jp", Charset::Iso2022Jp},
        {"csiso2022jp2", Charset::Iso2022Jp},
        {"cp50220", Charset::Iso2022Jp},
        {"cp50221", Charset::Iso2022Jp},
        {"cp50222", Charset::Iso2022Jp},
        {"utf8", Charset::Utf8},
        {"usascii", Charset::Ascii},
        {"ascii", Charset::Ascii},
        {"ansix341968", Charset::Ascii},
        {"iso646us", Charset::Ascii},
        {"us", Charset::Ascii},
    }};
    const std::string_view key(compact.constData(), size_t(compact.size()));
    for (const auto& [name, charset] : names) {
        if (name == key) {
            return charset;
        }
    }
    return std::nullopt;
}

}  // namespace

Decoded decodeAs(Charset charset, const QByteArray& bytes, qsizetype spare) {
    Decoded out;
    switch (charset) {
        case Charset::Ascii:
            out = decodeAscii(bytes, spare);
            break;
        case Charset::Utf8:
            out = decodeUtf8(bytes, spare);
            break;
        case Charset::Iso2022Jp:
            out = decodeIso2022Jp(bytes, spare);
            break;
        case Charset::EucJp:
            out = decodeEucJp(bytes, spare);
            break;
        case Charset::Cp932:
            out = decodeCp932(bytes, spare);
            break;
    }
    replaceNuls(out.text);
    return out;
}

std::optional<Decoded> decodeLabelled(const QByteArray& bytes, const QByteArray& charset,
                                      qsizetype spare) {
    const QByteArray compact = charsetKey(charset);
    if (const auto known = knownCharset(compact)) {
        return decodeAs(*known, bytes, spare);
    }
    QByteArray name = charset.trimmed();
    if (const qsizetype star = name.indexOf('*'); star >= 0) {
        name.truncate(star);
    }
    if (name.isEmpty() || name.contains('\0')) {
        return std::nullopt;
    }
    QStringDecoder decoder(name.constData(), QStringConverter::Flag::Stateless);
    if (!decoder.isValid()) {
        return std::nullopt;
    }
    Decoded out = decodeWithConverter(decoder, bytes, spare);
    replaceNuls(out.text);
    return out;
}

QString decodeTrusting(const QByteArray& bytes, const QByteArray& charset, qsizetype spare) {
    auto labelled =
        charset.trimmed().isEmpty() ? std::nullopt : decodeLabelled(bytes, charset, spare);
    if (labelled && labelled->errors == 0) {
        return std::move(labelled->text);
    }
    // The guess is weighed piece by piece; only the text kept is decoded whole, and the
    // labelled one is let go first, so that a long body is never held twice.
    const Charset guessed = guessCharset(bytes);
    if (labelled && errorsAs(guessed, bytes) != 0) {
        return std::move(labelled->text);
    }
    labelled.reset();
    return decodeAs(guessed, bytes, spare).text;
}

}  // namespace kervo::mime

namespace kervo {

QString decodeUnlabelled(const QByteArray& bytes) {
    return mime::decodeAs(mime::guessCharset(bytes), bytes).text;
}

std::optional<QString> decodeCharset(const QByteArray& bytes, const QByteArray& charset) {
    auto decoded = mime::decodeLabelled(bytes, charset);
    if (!decoded) {
        return std::nullopt;
    }
    return std::move(decoded->text);
}

}  // namespace kervo

#include "mail/mime/HtmlText.h"

#include <QStringList>
#include <algorithm>
#include <array>
#include <string_view>

namespace kervo::mime {

namespace {

bool isHtmlSpace(QChar c) {
    return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f';
}

bool isAsciiLetter(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isAsciiAlnum(QChar c) {
    return isAsciiLetter(c) || (c >= u'0' && c <= u'9');
}

int digitValue(QChar c, bool hex) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') {
        return u - u'0';
    }
    if (hex && u >= u'a' && u <= u'f') {
        return u - u'a' + 10;
    }
    if (hex && u >= u'A' && u <= u'F') {
        return u - u'A' + 10;
    }
    return -1;
}

bool isOneOf(const QString& name, std::initializer_list<std::u16string_view> names) {
    const std::u16string_view n(reinterpret_cast<const char16_t*>(name.utf16()),
                                size_t(name.size()));
    return std::find(names.begin(), names.end(), n) != names.end();
}

bool isBlock(const QString& name) {
    return isOneOf(
        name, {u"p",       u"div",     u"tr",      u"li",         u"ul",     u"ol",      u"dl",
               u"dt",      u"dd",      u"table",   u"blockquote", u"pre",    u"hr",      u"h1",
               u"h2",      u"h3",      u"h4",      u"h5",         u"h6",     u"address", u"center",
               u"form",    u"section", u"article", u"header",     u"footer", u"body",    u"html",
               u"caption", u"thead",   u"tbody",   u"tfoot"});
}

// Elements whose content is never shown as text.
bool isHidden(const QString& name) {
    return isOneOf(name, {u"script", u"style", u"title", u"head", u"noscript", u"template"});
}

char32_t namedEntity(const QString& name) {
    struct Entity {
        std::u16string_view name;
        char32_t code;
    };
    static constexpr std::array<Entity, 32> entities = {{
        {u"amp", U'&'},      {u"lt", U'<'},      {u"gt", U'>'},      {u"quot", U'"'},
        {u"apos", U'\''},    {u"nbsp", U' '},    {u"copy", 0xa9},    {u"reg", 0xae},
        {u"yen", 0xa5},      {u"laquo", 0xab},   {u"raquo", 0xbb},   {u"middot", 0xb7},
        {u"hellip", 0x2026}, {u"mdash", 0x2014}, {u"ndash", 0x2013}, {u"lsquo", 0x2018},
        {u"rsquo", 0x2019},  {u"ldquo", 0x201c}, {u"rdquo", 0x201d}, {u"bull", 0x2022},
        {u"trade", 0x2122},  {u"euro", 0x20ac},  {u"times", 0xd7},   {u"divide", 0xf7},
        {u"deg", 0xb0},      {u"plusmn", 0xb1},  {u"para", 0xb6},    {u"sect", 0xa7},
        {u"cent", 0xa2},     {u"pound", 0xa3},   {u"shy", 0xad},     {u"ensp", U' '},
    }};
    const std::u16string_view n(reinterpret_cast<const char16_t*>(name.utf16()),
                                size_t(name.size()));
    for (const Entity& e : entities) {
        if (e.name == n) {
            return e.code;
        }
    }
    return 0;
}

class HtmlReducer {
  public:
    explicit HtmlReducer(const QString& html) : in_(html) {}

    QString run() {
        while (pos_ < in_.size()) {
            const QChar c = in_[pos_];
            if (c == u'<' && tag()) {
                continue;
            }
            if (c == u'&' && entity()) {
                continue;
            }
            put(c);
            ++pos_;
        }
        while (!out_.isEmpty() && isHtmlSpace(out_.back())) {
            out_.chop(1);
        }
        return out_;
    }

  private:
    bool atLineStart() const { return out_.isEmpty() || out_.endsWith(u'\n'); }

    void flushSpace() {
        if (pendingSpace_ && !atLineStart()) {
            out_.append(u' ');
        }
        pendingSpace_ = false;
    }

    void put(QChar c) {
        if (preDepth_ == 0 && isHtmlSpace(c)) {
            pendingSpace_ = true;
            return;
        }
        flushSpace();
        out_.append(c);
    }

    void emitLiteral(char32_t code) {
        flushSpace();
        out_.append(QString::fromUcs4(&code, 1));
    }

    void lineBreak() {
        pendingSpace_ = false;
        out_.append(u"\r\n");
    }

    void ensureLineStart() {
        pendingSpace_ = false;
        if (!atLineStart()) {
            out_.append(u"\r\n");
        }
    }

    // The position just past the '>' closing the tag that starts at from; quoted attribute
    // values may hold '>'. Without a closing '>' the tag runs to the end.
    qsizetype tagEnd(qsizetype from) const {
        QChar quote;
        for (qsizetype i = from; i < in_.size(); ++i) {
            const QChar c = in_[i];
            if (!quote.isNull()) {
                if (c == quote) {
                    quote = QChar();
                }
            } else if (c == u'"' || c == u'\'') {
                quote = c;
            } else if (c == u'>') {
                return i + 1;
            }
        }
        const qsizetype plain = in_.indexOf(u'>', from);
        return plain < 0 ? in_.size() : plain + 1;
    }

    bool tag() {
        const qsizetype start = pos_ + 1;
        if (start >= in_.size()) {
            return false;
        }
        const QChar first = in_[start];
        if (in_.mid(pos_, 4) == u"<!--") {
            const qsizetype close = in_.indexOf(u"-->", pos_ + 4);
            pos_ = close < 0 ? in_.size() : close + 3;
            return true;
        }
        if (first == u'!' || first == u'?') {
            pos_ = tagEnd(start);
            return true;
        }
        const bool closing = first == u'/';
        qsizetype i = closing ? start + 1 : start;
        if (i >= in_.size() || !isAsciiLetter(in_[i])) {
            return false;  // a '<' that starts no tag is text
        }
        const qsizetype nameBegin = i;
        while (i < in_.size() && isAsciiAlnum(in_[i])) {
            ++i;
        }
        const QString name = in_.mid(nameBegin, i - nameBegin).toLower();
        pos_ = tagEnd(i);

        if (!closing && isHidden(name)) {
            // Unclosed, only the tag itself goes, so that a stray <head> cannot hide the mail.
            // An element once found unclosed is not searched for again: a flood of unclosed
            // tags must not cost a scan of the rest of the mail each.
            if (unclosed_.contains(name)) {
                return true;
            }
            const qsizetype close =
                in_.indexOf(QStringLiteral("</") + name, pos_, Qt::CaseInsensitive);
            if (close >= 0) {
                pos_ = tagEnd(close + 2);
            } else {
                unclosed_.append(name);
            }
            return true;
        }
        if (name == u"br") {
            lineBreak();
        } else if (isBlock(name)) {
            ensureLineStart();
            if (name == u"pre") {
                preDepth_ = closing ? std::max(0, preDepth_ - 1) : preDepth_ + 1;
            }
        } else if (name == u"td" || name == u"th") {
            pendingSpace_ = true;
        }
        return true;
    }

    bool entity() {
        qsizetype i = pos_ + 1;
        if (i < in_.size() && in_[i] == u'#') {
            ++i;
            const bool hex = i < in_.size() && (in_[i] == u'x' || in_[i] == u'X');
            if (hex) {
                ++i;
            }
            char32_t code = 0;
            int digits = 0;
            while (i < in_.size() && digits < 8) {
                const int v = digitValue(in_[i], hex);
                if (v < 0) {
                    break;
                }
                code = code * (hex ? 16 : 10) + char32_t(v);
                ++digits;
                ++i;
            }
            if (digits == 0) {
                return false;
            }
            if (i < in_.size() && in_[i] == u';') {
                ++i;
            }
            const bool valid = code != 0 && code <= 0x10ffff && (code < 0xd800 || code > 0xdfff);
            emitLiteral(valid ? code : char32_t(0xfffd));
            pos_ = i;
            return true;
        }
        const qsizetype nameBegin = i;
        while (i < in_.size() && i - nameBegin < 10 && isAsciiAlnum(in_[i])) {
            ++i;
        }
        if (i >= in_.size() || in_[i] != u';') {
            return false;
        }
        const char32_t code = namedEntity(in_.mid(nameBegin, i - nameBegin));
        if (code == 0) {
            return false;
        }
        emitLiteral(code);
        pos_ = i + 1;
        return true;
    }

    const QString& in_;
    qsizetype pos_ = 0;
    QString out_;
    int preDepth_ = 0;
    bool pendingSpace_ = false;
    QStringList unclosed_;
};

}  // namespace

QString htmlToText(const QString& html) {
    return HtmlReducer(html).run();
}

}  // namespace kervo::mime

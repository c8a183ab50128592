#include "app/TextSafety.h"

namespace kervo {

namespace {

// Invisible on screen, yet they reorder the text around them or hide where it starts.
bool isInvisibleMark(char16_t u) {
    return (u >= 0x202a && u <= 0x202e) ||  // embeddings and overrides
           (u >= 0x2066 && u <= 0x2069) ||  // isolates
           u == 0x200e || u == 0x200f ||    // left-to-right and right-to-left marks
           u == 0x061c ||                   // Arabic letter mark
           u == 0xfeff;                     // byte-order mark, zero-width no-break space
}

bool isSchemeName(const QString& text) {
    const QString name = text.trimmed();
    for (const QChar c : name) {
        const bool allowed = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                             (c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.';
        if (!allowed) {
            return false;
        }
    }
    return !name.isEmpty();
}

}  // namespace

QString displaySafe(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u == u'\r' || u == u'\n' || u == u'\t') {
            out.append(c);
        } else if (u < 0x20) {
            out.append(QChar(char16_t(0x2400 + u)));  // control pictures: ␀ ␁ … ␛ …
        } else if (u == 0x7f) {
            out.append(QChar(char16_t(0x2421)));  // ␡
        } else if ((u >= 0x80 && u < 0xa0) || u == 0x2028 || u == 0x2029 || isInvisibleMark(u)) {
            // C1 controls, line separators and the invisible marks
            out.append(QStringLiteral("\\u{%1}").arg(u, 0, 16));
        } else {
            out.append(c);
        }
    }
    return out;
}

QString oneLine(const QString& text) {
    QString out = displaySafe(text);
    out.replace(u'\r', QChar(0x240d));  // ␍
    out.replace(u'\n', QChar(0x240a));  // ␊
    return out;
}

QString withoutUserInfo(const QString& serverLine) {
    const qsizetype at = serverLine.lastIndexOf(u'@');
    if (at < 0) {
        return serverLine;
    }
    // Whatever stands between the scheme and the last '@' may be the secret, whichever
    // characters the password holds; a "://" inside the password is no scheme.
    const qsizetype scheme = serverLine.indexOf(u"://");
    const qsizetype start =
        scheme >= 0 && scheme < at && isSchemeName(serverLine.left(scheme)) ? scheme + 3 : 0;
    return serverLine.left(start) + QStringLiteral("*****") + serverLine.mid(at);
}

}  // namespace kervo

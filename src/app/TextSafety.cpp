#include "app/TextSafety.h"

namespace kervo {

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
        } else if ((u >= 0x80 && u < 0xa0) || u == 0x2028 || u == 0x2029 || u == 0x202e ||
                   u == 0x202d || u == 0x2066 || u == 0x2067 || u == 0x2068 || u == 0x2069) {
            // C1 controls, line separators and bidirectional overrides
            out.append(QStringLiteral("\\u{%1}").arg(u, 0, 16));
        } else {
            out.append(c);
        }
    }
    return out;
}

}  // namespace kervo

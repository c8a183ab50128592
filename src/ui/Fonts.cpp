#include "ui/Fonts.h"

#include <QFontInfo>
#include <QStringList>

namespace kervo {

QString gothicFace() {
    return QStringLiteral("ＭＳ ゴシック");
}
QString proportionalGothicFace() {
    return QStringLiteral("ＭＳ Ｐゴシック");
}
QString heavyFace() {
    return QStringLiteral("Arial Black");
}

void installFontSubstitutions() {
    // insertSubstitution appends, so a second call would only repeat the same entries.
    if (!QFont::substitutes(gothicFace()).isEmpty()) {
        return;
    }
    QFont::insertSubstitutions(
        gothicFace(),
        {QStringLiteral("IPAGothic"), QStringLiteral("VL Gothic"),
         QStringLiteral("Noto Sans Mono CJK JP"), QStringLiteral("DejaVu Sans Mono")});
    QFont::insertSubstitutions(proportionalGothicFace(),
                               {QStringLiteral("IPAPGothic"), QStringLiteral("VL PGothic"),
                                QStringLiteral("Noto Sans CJK JP"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(heavyFace(),
                               {QStringLiteral("DejaVu Sans"), QStringLiteral("Liberation Sans")});
}

QFont designFont(const QString& face, qreal pointSize, int weight, bool italic) {
    QFont font(face);
    font.setPointSizeF(pointSize);
    font.setWeight(static_cast<QFont::Weight>(weight));
    font.setItalic(italic);
    if (face == heavyFace() && QFontInfo(font).family() != face) {
        font.setWeight(QFont::Black);
    }
    return font;
}

QFont mainWindowFont() {
    return designFont(heavyFace(), 9, 700, true);
}

}  // namespace kervo

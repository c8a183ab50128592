#pragma once

#include <QFont>
#include <QString>

namespace kervo {

// The window was designed with three faces that a Linux desktop does not have. The code keeps
// naming them; these substitutions pick the nearest installed faces.
void installFontSubstitutions();

// The faces by their design names.
QString gothicFace();              // "ＭＳ ゴシック", fixed pitch
QString proportionalGothicFace();  // "ＭＳ Ｐゴシック"
QString heavyFace();               // "Arial Black"

// A font of the given face and size. Weights are the usual 100..900 scale. The heavy face is a
// black face by design, so where it is substituted the substitute is drawn in its heaviest
// weight whatever weight was asked for.
QFont designFont(const QString& face, qreal pointSize, int weight, bool italic = false);

// The main window's own font: "Arial Black" 9 pt, weight 700, italic.
QFont mainWindowFont();

}  // namespace kervo

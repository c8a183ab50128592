#pragma once

#include <QByteArrayView>
#include <QString>

namespace kervo::mime {

// How many line feeds the bytes hold: room to reserve for the CRs toCrLf may add.
qsizetype countLineFeeds(QByteArrayView bytes);

// The analysis and the windows work with CR LF line ends; a line feed without its CR (base64 of
// a Unix text, for one) gets one. Done in place, in the room the text already has when there is
// enough, moving whole lines at a time.
void toCrLf(QString& text);

}  // namespace kervo::mime

#pragma once

#include <QString>

namespace kervo::mime {

// An HTML body reduced to the text a reader would see: tags, comments, scripts, styles and the
// title dropped, entities decoded, whitespace collapsed as a browser would (kept inside <pre>),
// and a CR LF line break at <br> and around block elements.
QString htmlToText(const QString& html);

}  // namespace kervo::mime

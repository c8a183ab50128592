#pragma once

#include <QString>

namespace kervo {

// Report texts come from the network. Control characters other than CR, LF and tab are shown
// as visible escapes (U+241B-style pictures for C0, \u{..} for the rest) so that a crafted
// subject or file name can neither drive a terminal nor hide itself on screen.
QString displaySafe(const QString& text);

}  // namespace kervo

#pragma once

#include <QString>

namespace kervo {

// Report texts come from the network. Control characters other than CR, LF and tab are shown
// as visible escapes (U+241B-style pictures for C0, \u{..} for the rest) so that a crafted
// subject or file name can neither drive a terminal nor hide itself on screen. The same goes
// for the invisible marks that reorder or hide text: the bidirectional embeddings, overrides,
// isolates and marks, and the byte-order mark.
QString displaySafe(const QString& text);

// displaySafe, and CR and LF shown as ␍ and ␊ as well: for a line of a log or of a listing,
// which a text from outside must never split into a second, forged line.
QString oneLine(const QString& text);

// Line 6 of kervo.ini as it may be shown: a user name and password written into it
// ("pop3s://user:pw@host") are replaced by "*****", so that no message repeats them.
QString withoutUserInfo(const QString& serverLine);

}  // namespace kervo

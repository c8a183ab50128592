#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

#include "app/Result.h"

namespace kervo::mime {

// How the raw lines of a saved mail lay it out, learnt in one pass over its header lines before
// any parsing. Only the wanted header's value is kept; everything else is offsets.
struct MailLayout {
    std::optional<QByteArray> header;  // raw value of the wanted header, folding included
    // Header fields that run up to an empty line (or the end of the mail): something the MIME
    // parser reads as the mail's author meant it. A line inside them that is neither a field nor
    // a continuation is not: the parser would silently drop it, text the rules must see.
    bool wellFormed = false;
    qint64 headerEnd = 0;  // the empty line, or the line that is no header, or the end
    qint64 bodyStart = 0;  // the text after the header lines; 0 when the mail has none
    // The header lines given to the parser: [0, headKeep) and [tailKeep, headerEnd). Both are
    // headerEnd unless the header lines are longer than the parser is given: then the first and
    // the last of them are kept (the mail's own structure fields come last, the relays' first),
    // each cut where a field begins.
    qint64 headKeep = 0;
    qint64 tailKeep = 0;
};

// How many bytes of header lines the parser is given at most, half from each end.
inline constexpr qint64 kParsedHeaderBytes = 256 * 1024;

// Fills buffer with up to length bytes of the mail, in order; 0 at its end, negative on a read
// error (errno tells which).
using MailReadFn = std::function<qint64(char* buffer, qint64 length)>;

// Reads the mail's lines from its start until the header lines and the wanted header (named as
// for findRawHeader, searched up to the first empty line like there) are known. On a read error
// the Error holds the system's own words for it, for the caller to say which mail it was.
Result<MailLayout> scanLayout(const MailReadFn& read, const QString& headerName);

}  // namespace kervo::mime

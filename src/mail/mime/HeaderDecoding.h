#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace kervo::mime {

// A header name as asked for ("Subject:", " subject") reduced to how it is compared: lower
// case, without the colon and the whitespace around it.
QByteArray normalisedHeaderName(const QString& name);

// The raw value of the first header called name (any case, with or without the trailing
// colon) in the header block at the start of a message, folding included. The block ends at
// the first empty line; an mbox "From " line before it is skipped; lines that are no header
// are ignored. Nothing when the header is absent.
std::optional<QByteArray> findRawHeader(const QByteArray& message, const QString& name);

// Folding line breaks removed (the whitespace after them stays, as RFC 5322 has it), the
// whitespace after the colon and the line break at the end trimmed.
QByteArray unfoldHeader(const QByteArray& raw);

}  // namespace kervo::mime

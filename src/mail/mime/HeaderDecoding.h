#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace kervo::mime {

// The raw value of the first header called name (any case, with or without the trailing
// colon) in the header block at the start of a message, folding included. The block ends at
// the first empty line; an mbox "From " line before it is skipped; lines that are no header
// are ignored. Nothing when the header is absent.
std::optional<QByteArray> findRawHeader(const QByteArray& message, const QString& name);

// Folding line breaks removed (the whitespace after them stays, as RFC 5322 has it), the
// whitespace after the colon and the line break at the end trimmed.
QByteArray unfoldHeader(const QByteArray& raw);

}  // namespace kervo::mime

#pragma once

#include <QStringList>
#include <QTextStream>

namespace kervo {

// For the operator (kervo --read-mail): shows, for each saved mail, the subject and the body
// exactly as the analysis will see them, with control characters made visible. Returns 0, or 1
// when any file could not be read (each such file is named on err).
int runReadMailTool(const QStringList& files, QTextStream& out, QTextStream& err);

}  // namespace kervo

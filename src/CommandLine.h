#pragma once

#include <QStringList>
#include <QTextStream>
#include <optional>

#include "app/ProgramFolders.h"

namespace kervo {

// The operator tools beside the normal start: --check, --check-server, --read-mail, --help and
// --version, with the folders the normal start would use. Returns the exit status of the tool
// that ran, or nothing when the arguments ask for the normal start (no arguments at all).
std::optional<int> runOperatorTool(const QStringList& arguments, const ProgramFolders& folders,
                                   QTextStream& out, QTextStream& err);

}  // namespace kervo

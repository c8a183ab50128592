#pragma once

#include <QStringList>
#include <QTextStream>
#include <optional>

namespace kervo {

// The operator tools beside the normal start: --check, --read-mail, --help and --version.
// Returns the exit status of the tool that ran, or nothing when the arguments ask for the
// normal start (no arguments at all).
std::optional<int> runOperatorTool(const QStringList& arguments, QTextStream& out,
                                   QTextStream& err);

}  // namespace kervo

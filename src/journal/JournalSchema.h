#pragma once

#include <QStringList>

namespace kervo {

// The statements that bring a journal from version - 1 to version, one step per version since
// the first. A step once released never changes: files written by it exist.
QStringList schemaStep(int version);

}  // namespace kervo

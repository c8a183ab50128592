#pragma once

#include <QtGlobal>

namespace kervo {

// The largest mail the monitor handles. The fetch leaves a larger mail on the server (and tells
// the operator once), and a saved mail file is read no further than this, so that one mail can
// neither fill the disk nor hold the analysis for long.
inline constexpr qint64 kMaxMailBytes = qint64(512) * 1024 * 1024;

}  // namespace kervo

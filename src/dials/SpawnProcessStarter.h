#pragma once

#include "app/Seams.h"

namespace kervo {

// Starts console programs as independent processes. A program named without a path is looked
// up on PATH. The console gets standard input, output and error and nothing else of the
// monitor: no other open descriptor (a mail server session in the middle of a poll stays the
// monitor's), no ignored signal, a session of its own. It is reaped when it ends, so none is
// left behind as a zombie however long the monitor runs.
class SpawnProcessStarter final : public ProcessStarter {
  public:
    Result<void> start(const QString& program, const QStringList& arguments) override;
};

}  // namespace kervo

#pragma once

#include "app/Seams.h"

namespace kervo {

// Starts console programs as independent processes. A program named without a path is looked
// up on PATH.
class QtProcessStarter final : public ProcessStarter {
  public:
    bool startDetached(const QString& program, const QStringList& arguments,
                       QString* error) override;
};

}  // namespace kervo

#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "app/Result.h"

namespace kervo {

// The few things the monitor takes from the outside world, kept behind small interfaces so that
// tests can drive them.

class Clock {
  public:
    virtual ~Clock() = default;
    virtual QDateTime now() const = 0;
};

class SystemClock final : public Clock {
  public:
    QDateTime now() const override { return QDateTime::currentDateTime(); }
};

class ProcessStarter {
  public:
    virtual ~ProcessStarter() = default;
    // Starts the program detached and returns at once, or says why it could not.
    virtual Result<void> start(const QString& program, const QStringList& arguments) = 0;
};

class Beeper {
  public:
    virtual ~Beeper() = default;
    virtual void beep() = 0;
};

}  // namespace kervo

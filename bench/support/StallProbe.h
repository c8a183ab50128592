#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <vector>

#include "support/BenchSupport.h"

namespace kervo::bench {

// How late each tick of a periodic probe came, split by the phase the program was in. A tick
// that comes gapNs after the one before was held up for gapNs - period: that is the stall.
class StallLedger {
  public:
    StallLedger(qint64 periodNs, int phases);

    // The first tick only sets the start; phase is where the program was when it came.
    void tick(qint64 nowNs, int phase);

    qsizetype ticks(int phase) const { return late_.at(phase).size(); }
    double maxStallMs(int phase) const;
    double maxStallMs() const;
    // Ticks in the phase whose stall was at least thresholdMs.
    qsizetype stallsOver(int phase, double thresholdMs) const;
    Summary summary(int phase) const { return summarise(late_.at(phase)); }

  private:
    qint64 periodNs_;
    qint64 lastNs_ = -1;
    std::vector<std::vector<double>> late_;
};

// Drives a StallLedger from a precise timer on the thread it lives on.
class StallProbe : public QObject {
    Q_OBJECT
  public:
    StallProbe(int periodMs, int phases, QObject* parent = nullptr);

    void start();
    void stop() { timer_.stop(); }
    // From any thread.
    void setPhase(int phase) { phase_ = phase; }
    const StallLedger& ledger() const { return ledger_; }

  private:
    QTimer timer_;
    StallLedger ledger_;
    std::atomic<int> phase_{0};
};

}  // namespace kervo::bench

#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <vector>

#include "support/BenchSupport.h"

namespace kervo::bench {

// Where the calling thread stands: the clock, the processor time it has used itself, and how
// often the kernel has taken the processor from it while it could have run on.
struct ThreadSample {
    qint64 wallNs = 0;
    qint64 cpuNs = 0;
    qint64 preempted = 0;

    static ThreadSample now();
};

// One tick that came late: by how much, and what the thread did meanwhile. busyMs is the
// processor time the thread used itself between the two ticks (its own code: slices of the
// analysis, the alarm, the journal's queue); waitMs is the part of the stall that this work
// cannot account for, so at least that long the thread was ready but not running, or blocked.
// preempted counts the times the kernel took the processor from it in between.
struct Stall {
    double ms = 0;
    double busyMs = 0;
    double waitMs = 0;
    qint64 preempted = 0;
};

// How late each tick of a periodic probe came, split by the phase the program was in. A tick
// that comes gapNs after the one before was held up for gapNs - period: that is the stall.
class StallLedger {
  public:
    StallLedger(qint64 periodNs, int phases);

    // The first tick only sets the start; phase is where the program was when it came.
    void tick(const ThreadSample& at, int phase);

    qsizetype ticks(int phase) const { return late_.at(phase).size(); }
    double maxStallMs(int phase) const { return longest(phase).ms; }
    double maxStallMs() const;
    // The longest stall of the phase, with what the thread did during it.
    const Stall& longest(int phase) const { return longest_.at(phase); }
    // The thread's own processor time and preemptions over the whole phase.
    double busySeconds(int phase) const { return static_cast<double>(busyNs_.at(phase)) / 1e9; }
    qint64 preempted(int phase) const { return preempted_.at(phase); }
    // Ticks in the phase whose stall was at least thresholdMs.
    qsizetype stallsOver(int phase, double thresholdMs) const;
    Summary summary(int phase) const { return summarise(late_.at(phase)); }

  private:
    qint64 periodNs_;
    ThreadSample last_;
    bool started_ = false;
    std::vector<std::vector<double>> late_;
    std::vector<Stall> longest_;
    std::vector<qint64> busyNs_;
    std::vector<qint64> preempted_;
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

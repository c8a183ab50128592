#include "support/StallProbe.h"

#include <sys/resource.h>
#include <time.h>

#include <algorithm>

namespace kervo::bench {

ThreadSample ThreadSample::now() {
    ThreadSample sample;
    sample.wallNs = monotonicNs();
    timespec cpu{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
    sample.cpuNs = static_cast<qint64>(cpu.tv_sec) * 1'000'000'000 + cpu.tv_nsec;
    rusage usage{};
    ::getrusage(RUSAGE_THREAD, &usage);
    sample.preempted = usage.ru_nivcsw;
    return sample;
}

StallLedger::StallLedger(qint64 periodNs, int phases)
    : periodNs_(periodNs),
      late_(static_cast<std::size_t>(std::max(phases, 1))),
      longest_(late_.size()),
      busyNs_(late_.size(), 0),
      preempted_(late_.size(), 0) {}

void StallLedger::tick(const ThreadSample& at, int phase) {
    if (started_) {
        const auto index = static_cast<std::size_t>(phase);
        const qint64 stallNs = std::max<qint64>(0, at.wallNs - last_.wallNs - periodNs_);
        const qint64 busyNs = at.cpuNs - last_.cpuNs;
        const qint64 preempted = at.preempted - last_.preempted;
        const double ms = static_cast<double>(stallNs) / 1e6;
        late_.at(index).push_back(ms);
        busyNs_.at(index) += busyNs;
        preempted_.at(index) += preempted;
        if (ms > longest_.at(index).ms) {
            const double busyMs = static_cast<double>(busyNs) / 1e6;
            longest_.at(index) = {ms, busyMs, std::max(0.0, ms - busyMs), preempted};
        }
    }
    started_ = true;
    last_ = at;
}

double StallLedger::maxStallMs() const {
    double most = 0;
    for (const Stall& stall : longest_) {
        most = std::max(most, stall.ms);
    }
    return most;
}

qsizetype StallLedger::stallsOver(int phase, double thresholdMs) const {
    const auto& late = late_.at(static_cast<std::size_t>(phase));
    return std::count_if(late.begin(), late.end(),
                         [thresholdMs](double ms) { return ms >= thresholdMs; });
}

StallProbe::StallProbe(int periodMs, int phases, QObject* parent)
    : QObject(parent), ledger_(static_cast<qint64>(periodMs) * 1'000'000, phases) {
    timer_.setTimerType(Qt::PreciseTimer);
    timer_.setInterval(periodMs);
    connect(&timer_, &QTimer::timeout, this, [this] { ledger_.tick(ThreadSample::now(), phase_); });
}

void StallProbe::start() {
    ledger_.tick(ThreadSample::now(), phase_);
    timer_.start();
}

}  // namespace kervo::bench

#include "support/StallProbe.h"

#include <algorithm>

namespace kervo::bench {

StallLedger::StallLedger(qint64 periodNs, int phases)
    : periodNs_(periodNs), late_(static_cast<std::size_t>(std::max(phases, 1))) {}

void StallLedger::tick(qint64 nowNs, int phase) {
    if (lastNs_ >= 0) {
        const qint64 stall = std::max<qint64>(0, nowNs - lastNs_ - periodNs_);
        late_.at(static_cast<std::size_t>(phase)).push_back(static_cast<double>(stall) / 1e6);
    }
    lastNs_ = nowNs;
}

double StallLedger::maxStallMs(int phase) const {
    const auto& late = late_.at(static_cast<std::size_t>(phase));
    return late.empty() ? 0.0 : *std::max_element(late.begin(), late.end());
}

double StallLedger::maxStallMs() const {
    double most = 0;
    for (std::size_t phase = 0; phase < late_.size(); ++phase) {
        most = std::max(most, maxStallMs(static_cast<int>(phase)));
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
    connect(&timer_, &QTimer::timeout, this, [this] { ledger_.tick(monotonicNs(), phase_); });
}

void StallProbe::start() {
    ledger_.tick(monotonicNs(), phase_);
    timer_.start();
}

}  // namespace kervo::bench

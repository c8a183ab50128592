#include <gtest/gtest.h>

#include "support/StallProbe.h"

namespace kervo::bench {
namespace {

constexpr qint64 kMs = 1'000'000;

TEST(StallLedger, ticksOnTime_recordNoStall) {
    StallLedger ledger(5 * kMs, 1);
    for (qint64 t = 0; t <= 100 * kMs; t += 5 * kMs) {
        ledger.tick(t, 0);
    }
    EXPECT_EQ(ledger.ticks(0), 20);
    EXPECT_DOUBLE_EQ(ledger.maxStallMs(), 0.0);
    EXPECT_EQ(ledger.stallsOver(0, 0.001), 0);
}

TEST(StallLedger, lateTick_countsInThePhaseItEndedIn) {
    StallLedger ledger(5 * kMs, 2);
    ledger.tick(0, 0);
    ledger.tick(5 * kMs, 0);
    ledger.tick(25 * kMs, 0);  // 15 ms late while fetching
    ledger.tick(30 * kMs, 1);
    ledger.tick(95 * kMs, 1);  // 60 ms late while analysing
    ledger.tick(100 * kMs, 1);
    EXPECT_DOUBLE_EQ(ledger.maxStallMs(0), 15.0);
    EXPECT_DOUBLE_EQ(ledger.maxStallMs(1), 60.0);
    EXPECT_DOUBLE_EQ(ledger.maxStallMs(), 60.0);
    EXPECT_EQ(ledger.stallsOver(0, 16), 0);
    EXPECT_EQ(ledger.stallsOver(1, 50), 1);
    EXPECT_EQ(ledger.ticks(0), 2);
    EXPECT_EQ(ledger.ticks(1), 3);
}

TEST(StallLedger, earlyTick_isNoNegativeStall) {
    StallLedger ledger(5 * kMs, 1);
    ledger.tick(0, 0);
    ledger.tick(3 * kMs, 0);
    EXPECT_DOUBLE_EQ(ledger.maxStallMs(), 0.0);
    EXPECT_EQ(ledger.summary(0).count, 1);
}

}  // namespace
}  // namespace kervo::bench

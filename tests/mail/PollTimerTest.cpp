#include <gtest/gtest.h>

#include "PollFixture.h"

using namespace kervo;
using namespace kervo::test;
using namespace Qt::StringLiterals;

namespace {

using PollTimerTest = PollFixture;

TEST_F(PollTimerTest, ticks_pollEverySecondTickAndPurgeAfterLimitPlusOne) {
    state.purgeLimit = LooseValue::fromNumber(10);
    std::vector<int> pollTicks;
    std::vector<int> purgeTicks;
    for (int tick = 1; tick <= 34; ++tick) {
        mailer.calls.clear();
        mailer.fetches.push_back({QStringList{QString::number(tick)}, {}});
        mailer.mails[QString::number(tick)] = {QStringLiteral("web01"), QStringLiteral("x")};
        pollTimer.Timer1_Timer();
        ASSERT_TRUE(waitForPoll());
        const auto& calls = mailer.calls;
        if (std::find(calls.begin(), calls.end(), QStringLiteral("fetchAll")) != calls.end()) {
            pollTicks.push_back(tick);
        }
        const auto purge = std::find(calls.begin(), calls.end(), QStringLiteral("purge"));
        if (purge != calls.end()) {
            purgeTicks.push_back(tick);
            // on a tick that polls and purges, the purge comes after that poll's analysis
            EXPECT_EQ(purge, calls.end() - 1) << "tick " << tick;
        }
        EXPECT_FALSE(form.labelText(FormLabel::Label4).isEmpty());
    }
    EXPECT_EQ(pollTicks.size(), 17u);
    EXPECT_EQ(pollTicks.front(), 1);
    EXPECT_EQ(pollTicks.at(1), 3);
    EXPECT_EQ(purgeTicks, (std::vector<int>{11, 22, 33}));
    EXPECT_EQ(state.purgeCounter, 1);
}

TEST_F(PollTimerTest, purgeLimitAsNumbers_emptyMeansEveryTickAndTextNumberCompared) {
    struct Case {
        LooseValue limit;
        int ticks;
        int purges;
    };
    const std::vector<Case> cases = {
        {LooseValue(), 4, 4},
        {LooseValue::fromNumber(0), 3, 3},
        {LooseValue::fromNumber(2), 9, 3},
        {LooseValue::fromText(QStringLiteral("2")), 9, 3},  // u"2"_s, not u"10"_s > u"2"_s as text
        {LooseValue::fromNumber(10), 10, 0},
    };
    for (const Case& c : cases) {
        state.purgeLimit = c.limit;
        state.purgeCounter = 0;
        mailer.calls.clear();
        for (int t = 0; t < c.ticks; ++t) {
            pollTimer.Timer1_Timer();
            ASSERT_TRUE(waitForPoll());
        }
        EXPECT_EQ(std::count(mailer.calls.begin(), mailer.calls.end(), QStringLiteral("purge")),
                  c.purges)
            << c.limit.toText().toStdString();
    }
}

TEST_F(PollTimerTest, tickWhilePollRuns_pollDroppedAndPurgeWaitsForIt) {
    state.purgeLimit = LooseValue::fromNumber(1);
    mailer.holdFetch = true;
    mailer.fetches.push_back({QStringList{u"a"_s}, {}});
    mailer.mails[u"a"_s] = {QStringLiteral("db01"), QStringLiteral("x")};
    pollTimer.Timer1_Timer();  // tick 1 polls; the fetch hangs
    pollTimer.Timer1_Timer();  // tick 2: no poll, purge due but the poll is still running
    pollTimer.Timer1_Timer();  // tick 3: a poll falls due and is dropped
    EXPECT_EQ(std::count(mailer.calls.begin(), mailer.calls.end(), QStringLiteral("purge")), 0);
    mailer.release();
    ASSERT_TRUE(waitForPoll());
    const std::vector<QString> expected = {u"fetchAll"_s, u"readReport:a"_s, u"markAnalysed:a"_s,
                                           u"purge"_s};
    EXPECT_EQ(mailer.calls, expected);
}

}  // namespace

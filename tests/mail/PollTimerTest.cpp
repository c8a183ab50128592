#include <gtest/gtest.h>

#include "PollFixture.h"
#include "app/ScreenTexts.h"

using namespace kervo;
using namespace kervo::test;
using namespace Qt::StringLiterals;

namespace {

using PollTimerTest = PollFixture;

TEST_F(PollTimerTest, ticks_pollEverySecondTickAndPurgeAfterLimitPlusOne) {
    std::vector<int> pollTicks;
    std::vector<int> purgeTicks;
    for (int tick = 1; tick <= 34; ++tick) {
        mailer.calls.clear();
        mailer.fetches.push_back({QStringList{QString::number(tick)}});
        mailer.mails[QString::number(tick)] = {QStringLiteral("web01"), QStringLiteral("x")};
        pollTimer().onTick();
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
        EXPECT_EQ(window.clock(), screen::clockText(clock.time));
    }
    EXPECT_EQ(pollTicks.size(), 17u);
    EXPECT_EQ(pollTicks.front(), 1);
    EXPECT_EQ(pollTicks.at(1), 3);
    EXPECT_EQ(purgeTicks, (std::vector<int>{11, 22, 33}));
}

TEST(PurgeLimit, asNumbers_emptyMeansEveryTickAndATextNumberIsCompared) {
    const struct {
        LooseValue limit;
        int ticks;
        int purges;
    } cases[] = {
        {LooseValue(), 4, 4},
        {LooseValue::fromNumber(2), 9, 3},
        {LooseValue::fromText(QStringLiteral("2")), 9, 3},  // "10" > "2" only as text
    };
    for (const auto& c : cases) {
        MonitorFixture f;
        ScriptedMailer mailer;
        MailCheck check(mailer, {}, RuleBook(), f.window, f.clock, f.log);
        PollTimer timer(f.window, f.clock, check, mailer, c.limit);
        for (int t = 0; t < c.ticks; ++t) {
            timer.onTick();
            QDeadlineTimer deadline(5000);
            while (check.isPolling() && !deadline.hasExpired()) {
                QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
            }
        }
        EXPECT_EQ(std::count(mailer.calls.begin(), mailer.calls.end(), QStringLiteral("purge")),
                  c.purges)
            << c.limit.toText().toStdString();
    }
}

TEST_F(PollTimerTest, tickWhilePollRuns_pollDroppedAndPurgeWaitsForIt) {
    mailer.holdFetch = true;
    mailer.fetches.push_back({QStringList{u"a"_s}});
    mailer.mails[u"a"_s] = {QStringLiteral("db01"), QStringLiteral("x")};
    for (int tick = 1; tick <= 10; ++tick) {
        pollTimer().onTick();  // tick 1 polls and its fetch hangs; tick 3 is dropped
    }
    pollTimer().onTick();  // tick 11: the purge is due but the poll is still running
    EXPECT_EQ(std::count(mailer.calls.begin(), mailer.calls.end(), QStringLiteral("purge")), 0);
    mailer.release();
    ASSERT_TRUE(waitForPoll());
    const std::vector<QString> expected = {u"fetchAll"_s, u"readReport:a"_s, u"markAnalysed:a"_s,
                                           u"purge"_s};
    EXPECT_EQ(mailer.calls, expected);
}

}  // namespace

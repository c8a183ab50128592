#include <gtest/gtest.h>

#include "PollFixture.h"
#include "app/ScreenTexts.h"
#include "support/Printing.h"

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
        mailer.mails[QString::number(tick)] = {u"web01"_s, u"x"_s};
        pollTimer().onTick();
        ASSERT_TRUE(waitForPoll());
        const auto& calls = mailer.calls;
        if (std::find(calls.begin(), calls.end(), u"fetchAll"_s) != calls.end()) {
            pollTicks.push_back(tick);
        }
        const auto purge = std::find(calls.begin(), calls.end(), u"purge"_s);
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
        {LooseValue::fromText(u"2"_s), 9, 3},  // "10" > "2" only as text
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
        EXPECT_EQ(std::count(mailer.calls.begin(), mailer.calls.end(), u"purge"_s), c.purges)
            << c.limit.toText().toStdString();
    }
}

// A purge that falls due while a fetch runs waits for the tick's poll: the one running, or the
// one that follows a push's fetch. It never runs beside a fetch.
struct PurgeCase {
    const char* name;
    bool pushFetchFirst;
    std::vector<QString> calls;
};

using kervo::test::PrintTo;

struct PurgeBehindFetch : PollFixture, ::testing::WithParamInterface<PurgeCase> {};

TEST_P(PurgeBehindFetch, purgeDue_afterTheTicksPollNeverBesideAFetch) {
    const PurgeCase& c = GetParam();
    mailer.holdFetch = true;
    mailer.fetches.push_back({QStringList{u"a"_s}});
    mailer.mails[u"a"_s] = {u"db01"_s, u"x"_s};
    int finished = 0;
    QObject::connect(&check(), &MailCheck::pollFinished, [&] { ++finished; });
    if (c.pushFetchFirst) {
        check().onMailArrived();
    }
    for (int tick = 1; tick <= 10; ++tick) {
        pollTimer().onTick();  // tick 1 polls, or waits for the push's fetch; tick 3 is dropped
    }
    pollTimer().onTick();  // tick 11: the purge is due but a fetch is still running
    mailer.release();      // the first fetch only
    QDeadlineTimer deadline(5000);
    while (finished == 0 && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    const auto purges = [&] {
        return std::count(mailer.calls.begin(), mailer.calls.end(), u"purge"_s);
    };
    EXPECT_EQ(purges(), c.pushFetchFirst ? 0 : 1) << "purged before the tick's poll";
    mailer.releaseAll();
    ASSERT_TRUE(waitForPoll());
    EXPECT_EQ(mailer.calls, c.calls);
}

const PurgeCase kPurgeCases[] = {
    {"tickPollRunning_purgeAfterIt",
     false,
     {u"fetchAll"_s, u"readReport:a"_s, u"markAnalysed:a"_s, u"purge"_s}},
    {"pushFetchRunning_purgeAfterTheTicksPollThatFollows",
     true,
     {u"fetchAll"_s, u"readReport:a"_s, u"markAnalysed:a"_s, u"fetchAll"_s, u"purge"_s}},
};
INSTANTIATE_TEST_SUITE_P(PollTimer, PurgeBehindFetch, ::testing::ValuesIn(kPurgeCases),
                         kervo::test::rowName);

}  // namespace

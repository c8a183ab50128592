#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <thread>

#include "PollFixture.h"
#include "support/Printing.h"

using namespace kervo;
using namespace kervo::test;
using namespace Qt::StringLiterals;

namespace {

using MailCheckTest = PollFixture;

QStringList texts(const QString& subject, const QString& body) {
    return {subject, body};
}

// Each mail's analysis keeps the interface thread 200 µs, so that the worker can run ahead.
void analysisTakesAWhile() {
    for (QDeadlineTimer busy(std::chrono::microseconds(200)); !busy.hasExpired();) {
    }
}

TEST_F(MailCheckTest, threeReports_readAndShownInOrderAfterGreyHands) {
    mailer.fetches.push_back({QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s}});
    mailer.mails[u"a"_s] = texts(u"tripwire web01 changed"_s, u"/etc/passwd"_s);
    // b cannot be read now: it is left for the next poll
    mailer.mails[u"c"_s] = texts(u"db01 report"_s, u"nothing"_s);
    mailer.mails[u"d"_s] = texts(u"web01 and db01"_s, u"fine"_s);
    std::vector<size_t> shownAtMark;
    int greyOnUnreportedDials = -1;
    mailer.onMark = [&](const QString& element) {
        shownAtMark.push_back(reports.size());
        if (element == u"a") {
            greyOnUnreportedDials =
                std::min(pixelsOf(0, kPollHandColour), pixelsOf(2, kPollHandColour));
        }
    };

    ASSERT_TRUE(check().start());
    ASSERT_TRUE(waitForPoll());

    EXPECT_EQ(mailer.calls.front(), u"fetchAll"_s);
    EXPECT_EQ(mailer.callsOf(u"readReport:"_s),
              (std::vector<QString>{u"a"_s, u"b"_s, u"c"_s, u"d"_s}));
    EXPECT_EQ(mailer.callsOf(u"markAnalysed:"_s), (std::vector<QString>{u"a"_s, u"c"_s, u"d"_s}));
    // each report is shown, in turn, before it is marked
    EXPECT_EQ(shownAtMark, (std::vector<size_t>{1, 2, 3}));
    EXPECT_EQ(reports, (std::vector<QString>{u"tripwire web01 changed"_s, u"db01 report"_s,
                                             u"web01 and db01"_s}));
    EXPECT_GT(greyOnUnreportedDials, 10) << "grey hands must be on every dial before a report";
    EXPECT_GT(pixelsOf(2, kReportHandColour), 10) << "the last report names db01 last";
    EXPECT_TRUE(alarmRaised()) << "report a matched the rule";
    EXPECT_EQ(window.alarmMessage(), QStringLiteral("passwd changed"));
    EXPECT_EQ(mailer.lastLogon, (QStringList{u"pop.example"_s, u"watch"_s, u"secret"_s}));
}

// A long fetch tells its first batch as soon as it is safe: that report is shown, after the
// tick's grey hands, while the fetch goes on; the mails it listed but never told follow in their
// order, and none is read twice.
TEST_F(MailCheckTest, firstBatchSaved_shownWhileTheFetchGoesOn) {
    mailer.fetches.push_back({QStringList{u"a"_s, u"b"_s, u"c"_s}});
    mailer.tellFirst = {u"a"_s};
    mailer.holdFetch = true;
    for (const QString& name : {u"a"_s, u"b"_s, u"c"_s}) {
        mailer.mails[name] = texts(u"web01 "_s + name, u"fine"_s);
    }
    int greyAtFirstReport = -1;
    mailer.onMark = [&](const QString& element) {
        if (element == u"a") {
            greyAtFirstReport = pixelsOf(0, kPollHandColour);
        }
    };

    ASSERT_TRUE(check().start());
    QDeadlineTimer deadline(5000);
    while (reports.empty() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    EXPECT_EQ(reports, (std::vector<QString>{u"web01 a"_s})) << "shown before the fetch ended";
    EXPECT_TRUE(check().isPolling());
    mailer.release();
    ASSERT_TRUE(waitForPoll());

    EXPECT_GT(greyAtFirstReport, 10) << "the grey hands come before the first report";
    EXPECT_EQ(mailer.callsOf(u"readReport:"_s), (std::vector<QString>{u"a"_s, u"b"_s, u"c"_s}));
    EXPECT_EQ(reports, (std::vector<QString>{u"web01 a"_s, u"web01 b"_s, u"web01 c"_s}));
}

TEST_F(MailCheckTest, pollTrouble_showsOnNoticeUntilAGoodPollGivesItBack) {
    const struct {
        FetchOutcome result;
        QString notice;
    } polls[] = {
        {{{}, Error{u"pop.example:110: timed out"_s}}, u"受信エラー"_s},
        // mails saved before a failure are still analysed
        {{QStringList{u"a"_s}, Error{u"connection lost after 1 mail"_s}}, u"受信エラー"_s},
        {{{}, {}, {u"mail 4 (90000000 bytes) stays on the server: too large"_s}, 2},
         u"未受信 2通"_s},
        {{}, u"Ver 1.3"_s},
    };
    mailer.mails[u"a"_s] = texts(u"web01"_s, u"x"_s);
    window.setStatusNotice(u"Ver 1.3"_s);
    for (const auto& poll : polls) {
        mailer.fetches.push_back(poll.result);
        window.clearDial(0);
        ASSERT_TRUE(check().start());
        ASSERT_TRUE(waitForPoll());
        EXPECT_EQ(window.statusNotice(), poll.notice);
        EXPECT_GT(pixelsOf(0, kPollHandColour), 10) << "every poll leaves its grey hands";
    }
    EXPECT_EQ(reports, std::vector<QString>{u"web01"_s});
    EXPECT_EQ(stream.lines().filter(u"stays on the server"_s).size(), 1);
}

TEST_F(MailCheckTest, slowServer_eventLoopRunsAndSecondPollDropped) {
    mailer.holdFetch = true;
    mailer.fetches.push_back({QStringList{u"a"_s}});
    mailer.mails[u"a"_s] = texts(u"db01"_s, u"x"_s);
    ASSERT_TRUE(check().start());

    // While the fetch hangs, the interface thread keeps serving events, and another poll is
    // refused rather than queued.
    int served = 0;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] { ++served; });
    probe.start(1);
    QDeadlineTimer deadline(5000);
    while (served < 20 && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_FALSE(check().start());
    }
    probe.stop();
    EXPECT_GE(served, 20);
    EXPECT_TRUE(check().isPolling());
    EXPECT_TRUE(reports.empty()) << "nothing is analysed before the fetch returns";
    // The poll that holds up the others is told once, and shown while it lasts.
    EXPECT_EQ(window.statusNotice(), u"受信遅延"_s);
    EXPECT_EQ(stream.lines().filter(u"still running"_s).size(), 1);

    mailer.release();
    ASSERT_TRUE(waitForPoll());
    EXPECT_NE(window.statusNotice(), u"受信遅延"_s);
    EXPECT_EQ(reports, std::vector<QString>{u"db01"_s});
    EXPECT_EQ(std::count(mailer.calls.begin(), mailer.calls.end(), QStringLiteral("fetchAll")), 1);
}

TEST_F(MailCheckTest, unreadableMail_leftForTheNextPollAndReportedOnce) {
    mailer.mails[u"a"_s] = texts(u"web01 report"_s, u"fine"_s);
    mailer.mails[u"b"_s] = texts(u"db01 changed"_s, u"/etc/passwd"_s);
    mailer.failingReads[u"b"_s] = 2;  // out of file handles for two polls
    // the folder lists b again at each poll, since it was never marked analysed
    mailer.fetches = {{QStringList{u"a"_s, u"b"_s}}, {QStringList{u"b"_s}}, {QStringList{u"b"_s}}};
    for (int poll = 1; poll <= 3; ++poll) {
        ASSERT_TRUE(check().start());
        ASSERT_TRUE(waitForPoll());
        EXPECT_EQ(alarmRaised(), poll == 3) << "poll " << poll;
    }
    EXPECT_EQ(mailer.callsOf(u"markAnalysed:"_s), (std::vector<QString>{u"a"_s, u"b"_s}));
    const QStringList said = stream.problems().filter(u"b cannot be read"_s);
    EXPECT_EQ(said.size(), 1) << said.join(u'\n').toStdString();
}

// Word of new mail between the ticks and the ticks' polls take turns: one fetch at a time, one
// word remembered while a fetch runs, a tick that finds a push's fetch running follows it, and
// only the ticks' fetches draw grey hands. The first step starts a fetch that is held while the
// others come; the first fetch brings an alarming report, a second one another report.
enum class Step { Tick, Push };
struct SchedulingCase {
    const char* name;
    std::vector<Step> steps;
    int fetches;
    bool greyHands;
    QString noticeWhileHeld;
};

using kervo::test::PrintTo;

struct PushScheduling : PollFixture, ::testing::WithParamInterface<SchedulingCase> {};

TEST_P(PushScheduling, fetches_oneAtATimeGreyHandsForTicksOnly) {
    const SchedulingCase& c = GetParam();
    mailer.mails[u"a"_s] = texts(u"tripwire web01 changed"_s, u"/etc/passwd"_s);
    mailer.mails[u"b"_s] = texts(u"db01 report"_s, u"fine"_s);
    mailer.fetches = {{QStringList{u"a"_s}}, {QStringList{u"b"_s}}};
    int greenAtReport = 0;
    mailer.onMark = [&](const QString& element) {
        if (element == u"a") {
            greenAtReport = pixelsOf(1, kReportHandColour);
        }
    };
    window.setStatusNotice(u"Ver 1.3"_s);
    for (int dial = 0; dial < 3; ++dial) {
        window.clearDial(dial);
    }
    mailer.holdFetch = true;
    for (const Step step : c.steps) {
        if (step == Step::Tick) {
            (void)check().start();
        } else {
            check().onMailArrived();
        }
    }
    EXPECT_EQ(window.statusNotice(), c.noticeWhileHeld);
    mailer.releaseAll();
    ASSERT_TRUE(waitForPoll());
    EXPECT_EQ(mailer.callsOf(u"fetchAll"_s).size(), size_t(c.fetches));
    EXPECT_EQ(reports.size(), size_t(c.fetches));
    EXPECT_TRUE(alarmRaised()) << "the first fetch's report matched the rule";
    EXPECT_GT(greenAtReport, 10) << "the report's green hand";
    EXPECT_EQ(pixelsOf(0, kPollHandColour) > 10, c.greyHands);
    EXPECT_EQ(window.statusNotice(), u"Ver 1.3"_s);
}

using enum Step;
const SchedulingCase kSchedulingCases[] = {
    {"pushWhileIdle_fetchedWithoutGreyHands", {Push}, 1, false, u"Ver 1.3"_s},
    {"pushesDuringPushFetch_oneMoreFetch", {Push, Push, Push}, 2, false, u"Ver 1.3"_s},
    {"pushesDuringTickPoll_oneMoreFetch", {Tick, Push, Push}, 2, true, u"Ver 1.3"_s},
    {"tickDuringPushFetch_followsWithGreyHandsNotOverdue", {Push, Tick}, 2, true, u"Ver 1.3"_s},
    {"secondTickDuringPushFetch_overdue", {Push, Tick, Tick}, 2, true, u"受信遅延"_s},
    {"tickDuringTickPoll_droppedOverdue", {Tick, Tick}, 1, true, u"受信遅延"_s},
};
INSTANTIATE_TEST_SUITE_P(MailCheck, PushScheduling, ::testing::ValuesIn(kSchedulingCases),
                         kervo::test::rowName);

// The push being reconnected shows on the notice line with its current delay, below a failing
// or overdue poll and above mails left on the server; each loss and recovery is logged once.
TEST_F(MailCheckTest, pushReconnecting_noticeRankedAndLoggedOncePerLoss) {
    using Kind = PushState::Kind;
    const auto retrying = [](int seconds, const QString& why) {
        return PushState{Kind::Reconnecting, seconds, why};
    };
    const std::optional<FetchOutcome> noPoll;
    const struct {
        const char* name;
        PushState push;
        std::optional<FetchOutcome> poll;  // a poll after the push's word, if any
        QString notice;
    } steps[] = {
        {"noIdleOffered_offAndLogged", {Kind::Off, 0, u"offers no IDLE"_s}, noPoll, u"Ver 1.3"_s},
        {"lost_showsTheDelay", retrying(30, u"connection reset"_s), noPoll,
         u"IMAP再接続待ち 30秒"_s},
        {"retryFails_showsTheNewDelay", retrying(60, u"refused"_s), noPoll,
         u"IMAP再接続待ち 60秒"_s},
        {"pollFails_failureFirst", retrying(60, u"refused"_s),
         FetchOutcome{.ended = Error{u"timed out"_s}}, u"受信エラー"_s},
        {"mailsWithheld_reconnectFirst", retrying(60, u"refused"_s), FetchOutcome{.withheld = 2},
         u"IMAP再接続待ち 60秒"_s},
        {"listeningAgain_withheldShows", {Kind::Listening}, noPoll, u"未受信 2通"_s},
        {"lostAgain_showsTheDelay", retrying(5, u"bye"_s), FetchOutcome(), u"IMAP再接続待ち 5秒"_s},
        {"off_cleared", {Kind::Off}, noPoll, u"Ver 1.3"_s},
    };
    window.setStatusNotice(u"Ver 1.3"_s);
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        check().onPushState(step.push);
        if (step.poll) {
            mailer.fetches.push_back(*step.poll);
            ASSERT_TRUE(check().start());
            ASSERT_TRUE(waitForPoll());
        }
        EXPECT_EQ(window.statusNotice(), step.notice);
    }
    const QStringList lines = stream.lines();
    EXPECT_EQ(lines.filter(u"push connection to the mail server was lost"_s).size(), 2);
    EXPECT_EQ(lines.filter(u"lost: connection reset"_s).size(), 1) << "the reason, once";
    EXPECT_EQ(lines.filter(u"push connection to the mail server is back"_s).size(), 1);
    EXPECT_EQ(lines.filter(u"push connection to the mail server was given up"_s).size(), 1);
    EXPECT_EQ(lines.filter(u"offers no IDLE"_s).size(), 1);
}

// The worker reads only so far ahead of the analysis, whatever the poll brings; the order stays
// the server's and the poll ends once.
TEST_F(MailCheckTest, readAhead_boundedAndInOrder) {
    std::vector<QString> names;
    for (int i = 0; i < 700; ++i) {
        names.push_back(QString::number(i));
        mailer.mails[names.back()] = texts(u"web01"_s, u"x"_s);
    }
    mailer.fetches.push_back({QStringList(names.begin(), names.end())});
    std::atomic<int> marked{0};
    std::atomic<int> ahead{0};
    mailer.onRead = [&](const QString& element) {
        ahead = std::max(ahead.load(), element.toInt() - marked.load());
    };
    mailer.onMark = [&](const QString&) {
        ++marked;
        analysisTakesAWhile();
    };
    int finished = 0;
    QObject::connect(&check(), &MailCheck::pollFinished, [&] { ++finished; });
    ASSERT_TRUE(check().start());
    ASSERT_TRUE(waitForPoll(20000));
    QCoreApplication::processEvents();  // a late wake-up must not end the poll again
    EXPECT_EQ(finished, 1);
    // read while the one before is analysed, plus the 256 that wait in the queue
    EXPECT_LE(ahead.load(), 256 + 1);
    EXPECT_EQ(mailer.callsOf(u"markAnalysed:"_s), names);
}

// The monitor may be closed in the middle of a poll: the worker stops at its next mail and
// nothing it read is analysed after the check is gone.
TEST_F(MailCheckTest, destroyedMidPoll_workerStopsWithoutHangOrLateCalls) {
    QStringList names;
    for (int i = 0; i < 2000; ++i) {
        names << QString::number(i);
        mailer.mails[names.back()] = texts(u"web01"_s, u"x"_s);
    }
    mailer.fetches = {{names}};
    mailer.onMark = [](const QString&) { analysisTakesAWhile(); };
    auto doomed =
        std::make_unique<MailCheck>(mailer, MailAccount{}, RuleBook(), window, clock, log);
    ASSERT_TRUE(doomed->start());
    QDeadlineTimer deadline(5000);
    while (mailer.callsOf(u"markAnalysed:"_s).size() < 10 && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    ASSERT_FALSE(deadline.hasExpired());
    // A destructor that waits for a worker that never stops ends the run instead of hanging it.
    auto returned = std::make_shared<std::atomic<bool>>(false);
    std::thread([returned] {
        std::this_thread::sleep_for(std::chrono::seconds(5));
        if (!*returned) {
            std::fputs("FAILED: the check's destructor did not return within 5 s\n", stderr);
            std::_Exit(1);
        }
    }).detach();
    doomed.reset();
    *returned = true;
    const size_t callsAfter = mailer.calls.size();
    for (int i = 0; i < 10; ++i) {
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(mailer.calls.size(), callsAfter) << "nothing runs for a check that is gone";
    EXPECT_LT(mailer.callsOf(u"readReport:"_s).size(), 2000u) << "the worker read on regardless";
}

}  // namespace

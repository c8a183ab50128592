#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include "PollFixture.h"

using namespace kervo;
using namespace kervo::test;
using namespace Qt::StringLiterals;

namespace {

using MailCheckTest = PollFixture;

QStringList texts(const QString& subject, const QString& body) {
    return {subject, body};
}

TEST_F(MailCheckTest, threeReports_readAndAnalysedInOrderAfterGreyHands) {
    mailer.fetches.push_back({QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s}, {}});
    mailer.mails[u"a"_s] = texts(u"tripwire web01 changed"_s, u"/etc/passwd"_s);
    // b cannot be read and is skipped
    mailer.mails[u"c"_s] = texts(u"db01 report"_s, u"nothing"_s);
    mailer.mails[u"d"_s] = texts(u"web01 and db01"_s, u"fine"_s);
    std::vector<int> serverSeenAtRead;
    std::vector<int> greyPixelsAtFirstRead;
    mailer.onRead = [&](const QString& element) {
        serverSeenAtRead.push_back(state.currentServer);
        if (element == u"a") {
            for (int i = 0; i <= 2; ++i) {
                greyPixelsAtFirstRead.push_back(pixelsOf(i, state.pollColour));
            }
        }
    };

    ASSERT_TRUE(check.CheckMail());
    ASSERT_TRUE(waitForPoll());

    const std::vector<QString> expected = {
        u"RcvMail"_s,        u"ReadMail:a"_s,     u"MarkAnalysed:a"_s,
        u"ReadMail:b"_s,     u"MarkAnalysed:b"_s, u"ReadMail:c"_s,
        u"MarkAnalysed:c"_s, u"ReadMail:d"_s,     u"MarkAnalysed:d"_s};
    EXPECT_EQ(mailer.calls, expected);
    // each read happens after the previous report was analysed
    EXPECT_EQ(serverSeenAtRead, (std::vector<int>{0, 1, 1, 2}));
    EXPECT_EQ(state.currentServer, 2);
    for (int grey : greyPixelsAtFirstRead) {
        EXPECT_GT(grey, 10) << "grey hands must be on every dial before the first report";
    }
    EXPECT_TRUE(timer2.isActive()) << "report a matched the rule";
    EXPECT_EQ(form.labelText(FormLabel::Label3), QStringLiteral("passwd changed"));
    EXPECT_EQ(mailer.lastHeader, QStringLiteral("subject:"));
    EXPECT_EQ(mailer.lastLogon,
              (QStringList{u"pop.example"_s, u"watch"_s, u"secret"_s, u"SAVEALLD"_s}));
    for (const QString& folder : mailer.folders) {
        EXPECT_EQ(folder, check.mailFolder());
    }
}

TEST_F(MailCheckTest, noServers_noGreyHandButReportsStillAnalysed) {
    state.serverCount = -1;
    mailer.fetches.push_back({QStringList{u"a"_s}, {}});
    mailer.mails[u"a"_s] = texts(u"web01 changed"_s, u"/etc/passwd"_s);
    ASSERT_TRUE(check.CheckMail());
    ASSERT_TRUE(waitForPoll());
    EXPECT_EQ(pixelsOf(0, state.pollColour), 0);
    EXPECT_GT(pixelsOf(0, state.reportColour), 10) << "the report's hand goes to dial 0";
    EXPECT_TRUE(timer2.isActive());
}

TEST_F(MailCheckTest, nothingFetched_greyHandsOnlyAndNoRead) {
    struct Case {
        FetchResult result;
        bool failed;
    };
    const std::vector<Case> cases = {
        {FetchResult{std::nullopt, {}}, false},
        {FetchResult{QStringList{}, {}}, false},
        {FetchResult{std::nullopt, QStringLiteral("connection refused")}, true},
    };
    for (const Case& c : cases) {
        mailer.fetches.push_back(c.result);
    }
    form.setLabelText(FormLabel::Label11, u"Ver"_s);
    for (const Case& c : cases) {
        mailer.calls.clear();
        form.clearDial(0);
        ASSERT_TRUE(check.CheckMail());
        ASSERT_TRUE(waitForPoll());
        EXPECT_EQ(mailer.calls, std::vector<QString>{u"RcvMail"_s});
        EXPECT_GT(pixelsOf(0, state.pollColour), 10);
        EXPECT_EQ(form.labelText(FormLabel::Label11) == u"Ver"_s, !c.failed);
    }
}

TEST_F(MailCheckTest, pollTrouble_showsOnNoticeUntilAGoodPollGivesItBack) {
    FetchResult withheld{QStringList{}, {}};
    withheld.withheld = 2;
    withheld.notices = {u"mail 4 (90000000 bytes) stays on the server: too large"_s};
    const struct {
        FetchResult result;
        QString notice;
    } polls[] = {
        {{std::nullopt, u"pop.example:110: timed out"_s}, u"受信エラー"_s},
        // mails saved before a failure are still analysed
        {{QStringList{u"a"_s}, u"connection lost after 1 mail"_s}, u"受信エラー"_s},
        {withheld, u"未受信 2通"_s},
        {{std::nullopt, {}}, u"Ver 1.3"_s},
    };
    mailer.mails[u"a"_s] = texts(u"web01"_s, u"x"_s);
    form.setLabelText(FormLabel::Label11, u"Ver 1.3"_s);
    for (const auto& poll : polls) {
        mailer.fetches.push_back(poll.result);
        ASSERT_TRUE(check.CheckMail());
        ASSERT_TRUE(waitForPoll());
        EXPECT_EQ(form.labelText(FormLabel::Label11), poll.notice);
    }
    EXPECT_EQ(state.currentServer, 1);
    EXPECT_EQ(stream.lines().filter(u"stays on the server"_s).size(), 1);
}

TEST_F(MailCheckTest, slowServer_eventLoopRunsAndSecondPollDropped) {
    mailer.holdFetch = true;
    mailer.fetches.push_back({QStringList{u"a"_s}, {}});
    mailer.mails[u"a"_s] = texts(u"db01"_s, u"x"_s);
    ASSERT_TRUE(check.CheckMail());

    // While the fetch hangs, the interface thread keeps serving events, and another poll is
    // refused rather than queued.
    int served = 0;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] { ++served; });
    probe.start(1);
    QDeadlineTimer deadline(5000);
    while (served < 20 && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        EXPECT_FALSE(check.CheckMail());
    }
    probe.stop();
    EXPECT_GE(served, 20);
    EXPECT_TRUE(check.isPolling());
    EXPECT_EQ(state.currentServer, 0) << "nothing is analysed before the fetch returns";
    // The poll that holds up the others is told once, and shown while it lasts.
    EXPECT_EQ(form.labelText(FormLabel::Label11), u"受信遅延"_s);
    EXPECT_EQ(stream.lines().filter(u"still running"_s).size(), 1);

    mailer.release();
    ASSERT_TRUE(waitForPoll());
    EXPECT_NE(form.labelText(FormLabel::Label11), u"受信遅延"_s);
    EXPECT_EQ(state.currentServer, 2);
    EXPECT_EQ(mailer.mostInside.load(), 1);
    EXPECT_EQ(std::count(mailer.calls.begin(), mailer.calls.end(), QStringLiteral("RcvMail")), 1);
}

TEST_F(MailCheckTest, manyMails_analysisYieldsToTheEventLoop) {
    QStringList many;
    for (int i = 0; i < 400; ++i) {
        const QString name = QString::number(i);
        many << name;
        mailer.mails[name] = texts(u"web01"_s, u"x"_s);
    }
    mailer.fetches.push_back({many, {}});
    // each read pretends to cost a little, so that the analysis needs several slices
    mailer.onRead = [](const QString&) {
        QDeadlineTimer busy(1);
        while (!busy.hasExpired()) {
        }
    };
    check.setSliceBudgetMs(5);
    int served = 0;
    QTimer probe;
    QObject::connect(&probe, &QTimer::timeout, [&] { ++served; });
    probe.start(0);
    ASSERT_TRUE(check.CheckMail());
    ASSERT_TRUE(waitForPoll(20000));
    EXPECT_GT(served, 5) << "other events ran between slices of the analysis";
    EXPECT_EQ(std::count_if(mailer.calls.begin(), mailer.calls.end(),
                            [](const QString& c) { return c.startsWith(u"MarkAnalysed:"); }),
              400);
}

}  // namespace

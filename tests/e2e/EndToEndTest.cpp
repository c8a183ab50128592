#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>

#include "Application.h"
#include "E2eSupport.h"
#include "Monitor.h"
#include "alarm/Alarm.h"
#include "app/ScreenTexts.h"
#include "app/WindowModel.h"
#include "dials/DialHands.h"
#include "mail/PollTimer.h"
#include "support/MonitorFixture.h"

using namespace kervo;
using namespace Qt::StringLiterals;
using namespace kervo::test;

namespace {

int pixelsOf(const WindowModel& window, int dial, Rgb colour) {
    return countPixels(window.renderDial(dial), colour);
}

TEST(EndToEnd, reportsWaiting_handsAlarmEmptyMailboxPurgeAndServerOutageSurvived) {
    if (const QString why = DovecotServer::unavailableReason(); !why.isEmpty()) {
        GTEST_SKIP() << why.toStdString();
    }
    DovecotServer server;
    const QString failed = startWithReports(
        server, {{u"Integrity report web01: files changed"_s, u"changed: /etc/passwd"_s},
                 {u"db01 nightly report"_s, u"no changes"_s},
                 {u"【改ざん】web01"_s, u"/var/www/html/index.html"_s}});
    ASSERT_TRUE(failed.isEmpty()) << failed.toStdString();

    QTemporaryDir settings;
    QTemporaryDir home;
    ASSERT_TRUE(writeSettings(QDir(settings.path()), u"127.0.0.1:%1"_s.arg(server.popPort()), 1));
    const QString mailFolder = home.filePath(u"mail"_s);
    const QString journal = home.filePath(u"journal.sqlite"_s);
    Application app({QDir(settings.path()), mailFolder, nullptr, journal});
    ASSERT_FALSE(app.start().has_value());
    Monitor& monitor = app.monitor();
    WindowModel& window = app.model();

    // The start-up poll: everything fetched, saved, analysed; the mailbox emptied.
    ASSERT_TRUE(waitFor([&] { return !app.pollInFlight(); }, 60'000));
    EXPECT_EQ(server.mailCount(), 0);
    EXPECT_EQ(filesIn(mailFolder + u"/cur"_s), 3);
    EXPECT_TRUE(monitor.alarm().isBlinking());
    EXPECT_EQ(window.alarmMessage(), u"改ざんを検知しました"_s);
    EXPECT_EQ(window.alarmSubject(), u"【改ざん】web01"_s);
    EXPECT_GT(pixelsOf(window, 1, kReportHandColour), 10);
    EXPECT_GT(pixelsOf(window, 2, kReportHandColour), 10);
    EXPECT_GT(pixelsOf(window, 0, kPollHandColour), 10);

    // Tick 1 polls an empty mailbox, tick 2 purges (purgeLimit 1).
    monitor.pollTimer().onTick();
    ASSERT_TRUE(waitFor([&] { return !app.pollInFlight(); }, 30'000));
    monitor.pollTimer().onTick();
    EXPECT_EQ(filesIn(mailFolder + u"/cur"_s), 0);

    // The server goes away: the poll fails, the window says so, the monitor goes on.
    server.stop();
    monitor.pollTimer().onTick();  // tick 3 polls
    ASSERT_TRUE(waitFor([&] { return !app.pollInFlight(); }, 60'000));
    EXPECT_EQ(window.statusNotice(), screen::pollFailed());

    // And comes back with a report waiting: the next polling tick fetches it.
    const QString back =
        startWithReports(server, {{u"db01 integrity report"_s, u"nothing to see"_s}});
    ASSERT_TRUE(back.isEmpty()) << back.toStdString();
    window.clearDial(2);
    monitor.pollTimer().onTick();  // tick 4 does not poll
    EXPECT_FALSE(app.pollInFlight());
    monitor.pollTimer().onTick();  // tick 5 does
    ASSERT_TRUE(waitFor([&] { return !app.pollInFlight(); }, 60'000));
    EXPECT_EQ(server.mailCount(), 0);
    EXPECT_GT(pixelsOf(window, 2, kReportHandColour), 10);
    EXPECT_NE(window.statusNotice(), screen::pollFailed());

    // The journal the run wrote, as a script reads it while the monitor runs: web01's two alarms,
    // oldest first, acknowledged by the reset.
    monitor.resetAlarm();
    QProcess history;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"KERVO_JOURNAL"_s, journal);
    history.setProcessEnvironment(env);
    history.start(QStringLiteral(KERVO_EXECUTABLE), {u"--history"_s, u"--server"_s, u"web01"_s});
    ASSERT_TRUE(history.waitForFinished(30'000));
    EXPECT_EQ(history.exitCode(), 0) << history.readAllStandardError().toStdString();
    const QStringList lines =
        QString::fromUtf8(history.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << lines.join(u'\n').toStdString();
    const QStringList first = lines[0].split(u'\t');
    ASSERT_EQ(first.size(), 6) << lines[0].toStdString();
    EXPECT_EQ(first.mid(1, 4), (QStringList{u"web01"_s, u"R1"_s, u"passwd changed on web"_s,
                                            u"Integrity report web01: files changed"_s}));
    EXPECT_TRUE(QDateTime::fromString(first[0], Qt::ISODate).isValid()) << first[0].toStdString();
    EXPECT_TRUE(QDateTime::fromString(first[5], Qt::ISODate).isValid()) << first[5].toStdString();
    EXPECT_EQ(lines[1].split(u'\t').value(2), u"R2"_s);
}

}  // namespace

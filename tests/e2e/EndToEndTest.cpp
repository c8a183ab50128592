#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "Application.h"
#include "E2eSupport.h"
#include "app/FormModel.h"
#include "app/Monitor.h"

using namespace kervo;
using namespace kervo::test;

namespace {

int pixelsOf(const FormModel& form, int dial, Rgb colour) {
    const QImage img = form.renderDial(dial);
    int n = 0;
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            n += img.pixelColor(x, y) == toQColor(colour) ? 1 : 0;
        }
    }
    return n;
}

TEST(EndToEnd, reportsWaiting_handsAlarmEmptyMailboxPurgeAndServerOutageSurvived) {
    if (const QString why = DovecotServer::unavailableReason(); !why.isEmpty()) {
        GTEST_SKIP() << why.toStdString();
    }
    DovecotServer server;
    QString why;
    ASSERT_TRUE(server.start(why)) << why.toStdString();
    ASSERT_TRUE(server.addMail(report(QStringLiteral("Integrity report web01: files changed"),
                                      QStringLiteral("changed: /etc/passwd"))));
    ASSERT_TRUE(server.addMail(
        report(QStringLiteral("db01 nightly report"), QStringLiteral("no changes"))));
    ASSERT_TRUE(server.addMail(
        report(QStringLiteral("【改ざん】web01"), QStringLiteral("/var/www/html/index.html"))));

    QTemporaryDir settings;
    QTemporaryDir home;
    ASSERT_TRUE(writeSettings(QDir(settings.path()),
                              QStringLiteral("127.0.0.1:%1").arg(server.popPort()), 1));
    const QString mailFolder = home.filePath(QStringLiteral("mail"));
    Application app({QDir(settings.path()), mailFolder, nullptr});
    ASSERT_FALSE(app.start().has_value());
    Monitor& monitor = app.monitor();
    FormModel& form = app.form();

    // The start-up poll: everything fetched, saved, analysed; the mailbox emptied.
    ASSERT_TRUE(waitFor([&] { return !app.pollInFlight(); }, 60'000));
    EXPECT_EQ(server.mailCount(), 0);
    EXPECT_EQ(filesIn(mailFolder + QStringLiteral("/cur")), 3);
    EXPECT_TRUE(monitor.timer2().isActive());
    EXPECT_EQ(form.labelText(FormLabel::Label3), QStringLiteral("改ざんを検知しました"));
    EXPECT_EQ(monitor.state().currentServer, 1);
    EXPECT_TRUE(monitor.state().dialAlarmed[1]);
    EXPECT_GT(pixelsOf(form, 1, monitor.state().reportColour), 10);
    EXPECT_GT(pixelsOf(form, 2, monitor.state().reportColour), 10);
    EXPECT_GT(pixelsOf(form, 0, monitor.state().pollColour), 10);

    // Tick 1 polls an empty mailbox, tick 2 purges (purgeLimit 1).
    monitor.Timer1_Timer();
    ASSERT_TRUE(waitFor([&] { return !app.pollInFlight(); }, 30'000));
    monitor.Timer1_Timer();
    EXPECT_EQ(filesIn(mailFolder + QStringLiteral("/cur")), 0);

    // The server goes away: the poll fails, the window says so, the monitor goes on.
    server.stop();
    monitor.Timer1_Timer();  // tick 3 polls
    ASSERT_TRUE(waitFor([&] { return !app.pollInFlight(); }, 60'000));
    EXPECT_EQ(form.labelText(FormLabel::Label11), QStringLiteral("受信エラー"));

    // And comes back with a report waiting: the next polling tick fetches it.
    ASSERT_TRUE(server.start(why)) << why.toStdString();
    ASSERT_TRUE(server.addMail(
        report(QStringLiteral("db01 integrity report"), QStringLiteral("nothing to see"))));
    monitor.Timer1_Timer();  // tick 4 does not poll
    EXPECT_FALSE(app.pollInFlight());
    monitor.Timer1_Timer();  // tick 5 does
    ASSERT_TRUE(waitFor([&] { return !app.pollInFlight(); }, 60'000));
    EXPECT_EQ(server.mailCount(), 0);
    EXPECT_EQ(monitor.state().currentServer, 2);
    EXPECT_NE(form.labelText(FormLabel::Label11), QStringLiteral("受信エラー"));
}

}  // namespace

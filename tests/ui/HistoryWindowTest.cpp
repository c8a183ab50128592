// The history window, the tray icon and the desktop notifications on the offscreen platform,
// where there is neither a tray nor a notification service.
#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <functional>

#include "app/ScreenTexts.h"
#include "journal/Journal.h"
#include "journal/JournalFixture.h"
#include "support/MonitorFixture.h"
#include "support/Printing.h"
#include "ui/ActivityChart.h"
#include "ui/DesktopNotifier.h"
#include "ui/HistoryWindow.h"
#include "ui/TrayIcon.h"

using namespace kervo;
using namespace Qt::StringLiterals;
using kervo::test::reportOf;

namespace {

// A journal with three alarms of two servers on the 1st of March, the newest acknowledged, and
// the history window over it at noon that day.
struct History {
    test::MonitorFixture f;
    test::JournalFile file;
    Journal journal{file.path, 90, f.clock, f.log};
    std::unique_ptr<HistoryWindow> window;

    History() {
        f.clock.time = QDateTime(QDate(2026, 3, 1), QTime(12, 0));
        journal.start();
        journal.waitForUpkeep();
        journal.record(reportOf(u"a.eml"_s, 1, 11, {0}));
        journal.acknowledgeOpen(u"op"_s);
        ReportRecord db = reportOf(u"b.eml"_s, 1, 9, {0}, u"db01"_s);
        db.subject = u"db01 disk"_s;
        db.body = QString(20000, u'd') + u"END"_s;
        journal.record(db);
        journal.record(reportOf(u"c.eml"_s, 1, 10, {1}));
        EXPECT_TRUE(journal.waitUntilWritten(10000));
        window =
            std::make_unique<HistoryWindow>(journal, f.clock, QStringList{u"web01"_s, u"db01"_s});
    }
    template <typename T>
    T* child(const char* name) const {
        return window->findChild<T*>(QString::fromLatin1(name));
    }
    QStringList column(int c) const {
        auto* table = child<QTableWidget>("alarmList");
        QStringList out;
        for (int row = 0; row < table->rowCount(); ++row) {
            out << table->item(row, c)->text();
        }
        return out;
    }
};

struct HistoryCase {
    const char* name;
    std::function<void(History&)> act;
    QStringList servers;  // the list's server column afterwards
    QStringList states;   // the list's acknowledgement column afterwards
};

using kervo::test::PrintTo;

class HistoryList : public ::testing::TestWithParam<HistoryCase> {};

TEST_P(HistoryList, operatorAction_listShowsTheseAlarms) {
    History h;
    GetParam().act(h);
    EXPECT_EQ(h.column(1), GetParam().servers);
    EXPECT_EQ(h.column(4), GetParam().states);
}

const QString kOpen = screen::unacknowledged();
const QString kByOp =
    screen::acknowledgedBy(QDateTime(QDate(2026, 3, 1), QTime(12, 0)), u"op"_s, QString());

const HistoryCase kHistoryCases[] = {
    {"opened_openOnesFirstNewestFirst",
     [](History&) {},
     {u"web01"_s, u"db01"_s, u"web01"_s},
     {kOpen, kOpen, kByOp}},
    {"serverChosen_onlyItsAlarms",
     [](History& h) { h.child<QComboBox>("serverFilter")->setCurrentIndex(2); },
     {u"db01"_s},
     {kOpen}},
    {"textTyped_onlyMatchingSubjects",
     [](History& h) {
         h.child<QLineEdit>("textFilter")->setText(u"DISK"_s);
         h.window->refresh();
     },
     {u"db01"_s},
     {kOpen}},
    {"oneAcknowledgedWithAComment_itMovesBelowTheOpenOnesWithItsComment",
     [](History& h) {
         QSignalSpy told(h.window.get(), &HistoryWindow::alarmAcknowledged);
         h.window->selectRow(1);
         h.child<QLineEdit>("comment")->setText(u"full, known"_s);
         h.child<QPushButton>("acknowledge")->click();
         EXPECT_EQ(told.count(), 1);
         EXPECT_EQ(h.journal.openAlarmCount(), 1);
     },
     {u"web01"_s, u"web01"_s, u"db01"_s},
     {kOpen, kByOp,
      screen::acknowledgedBy(QDateTime(QDate(2026, 3, 1), QTime(12, 0)), Journal::operatorName(),
                             u"full, known"_s)}},
};

INSTANTIATE_TEST_SUITE_P(History, HistoryList, ::testing::ValuesIn(kHistoryCases),
                         kervo::test::rowName);

TEST(HistoryWindowReport, alarmChosen_wholeReportShownAndOpenRowsStandOut) {
    History h;
    auto* table = h.child<QTableWidget>("alarmList");
    EXPECT_TRUE(table->item(0, 0)->font().bold());
    EXPECT_FALSE(table->item(2, 0)->font().bold());
    h.window->selectRow(1);
    const QString shown = h.child<QPlainTextEdit>("reportText")->toPlainText();
    EXPECT_TRUE(shown.startsWith(u"db01 disk"_s)) << shown.left(40).toStdString();
    EXPECT_TRUE(shown.endsWith(u"END"_s)) << "the whole text, past what the window "
                                             "shows";
    // the chart of the last 24 hours: web01's alarms at 10 and 11, db01's at 9
    const auto& activity = h.child<ActivityChart>("activityChart")->activity();
    ASSERT_EQ(activity.size(), 2u);
    EXPECT_EQ(activity[1].server, u"web01"_s);
    EXPECT_EQ(activity[1].alarms[23 - 2], 1);
    EXPECT_EQ(activity[1].alarms[23 - 1], 1);
    EXPECT_EQ(activity[0].alarms[23 - 3], 1);
}

// Without a tray or a notification service nothing is shown, sent or failed, and the menu and
// the state still work.
TEST(TrayAndNotifications, noTrayNoService_stateFollowsAndNothingFails) {
    WindowModel model;
    TrayIcon tray(model);
    EXPECT_FALSE(tray.isShown());
    EXPECT_EQ(tray.state(), TrayIcon::State::Calm);
    model.setStatusNotice(screen::pollFailed());
    EXPECT_EQ(tray.state(), TrayIcon::State::PollsFailing);
    model.setResetAlarmVisible(true);
    EXPECT_EQ(tray.state(), TrayIcon::State::Alarm);
    EXPECT_EQ(tray.toolTip(), screen::trayAlarm());
    QSignalSpy history(&tray, &TrayIcon::historyRequested);
    QSignalSpy reset(&tray, &TrayIcon::resetAlarmRequested);
    for (QAction* action : tray.menu().actions()) {
        action->trigger();
    }
    EXPECT_EQ(history.count(), 1);
    EXPECT_EQ(reset.count(), 1);
    tray.announce(u"Kervo"_s, u"1"_s);

    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    DesktopNotifier notifier;
    notifier.notify(u"web01"_s, u"passwd changed"_s);
    EXPECT_EQ(notifier.sent(), 0);
}

}  // namespace

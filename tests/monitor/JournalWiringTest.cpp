// The monitor with its journal: each report recorded before its mail is marked analysed, the
// same mail handed out again recorded once, alarms that go on whatever the journal's file does,
// and alarms an earlier run left open announced until the reset.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <atomic>
#include <functional>

#include "Monitor.h"
#include "alarm/Alarm.h"
#include "app/ScreenTexts.h"
#include "journal/Journal.h"
#include "journal/JournalFixture.h"
#include "mail/ScriptedMailer.h"
#include "support/MonitorFixture.h"
#include "support/Printing.h"

using namespace kervo;
using namespace Qt::StringLiterals;
using kervo::test::JournalFile;

namespace {

const QString kAlarming = u"/mail/new/alarming.eml"_s;

// One run of the monitor over the journal file, its first poll bringing the alarming report.
struct MonitorRun : test::MonitorFixture {
    test::ScriptedMailer mailer;
    Journal journal;
    Monitor monitor{window, mailer, Monitor::Seams{clock, beeper, starter, log}};

    explicit MonitorRun(const QString& journalPath) : journal(journalPath, 90, clock, log) {
        mailer.fetches.push_back({{kAlarming}});
        mailer.mails[kAlarming] = {u"web01 changed"_s, u"/etc/passwd"_s};
        monitor.useJournal(journal);
    }
    ~MonitorRun() { mailer.releaseAll(); }

    void start() {
        Settings settings = test::settingsWith({u"default"_s, u"web01"_s});
        test::addRule(settings, u"changed"_s, u"/etc/passwd"_s, u"passwd changed"_s);
        window.setStatusNotice(screen::noticeWhenWell());
        monitor.begin(std::move(settings), QImage(), QImage());
        QDeadlineTimer deadline(5000);
        while (monitor.isPolling() && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        EXPECT_FALSE(monitor.isPolling());
        journal.waitForUpkeep();
    }
};

struct WiringCase {
    const char* name;
    std::function<void(JournalFile&, MonitorRun&)> check;
};

using kervo::test::PrintTo;

class JournalWiring : public ::testing::TestWithParam<WiringCase> {};

TEST_P(JournalWiring, poll_recordsAsTheOperatorNeeds) {
    JournalFile file;
    MonitorRun run(file.path);
    GetParam().check(file, run);
}

const WiringCase kWiringCases[] = {
    // Were the mail marked first, a crash between the two steps would lose the record.
    {"alarmingReport_recordedBeforeItsMailIsMarkedAnalysed",
     [](JournalFile& file, MonitorRun& run) {
         std::atomic<qint64> recordedAtMark{-1};
         run.mailer.onMark = [&](const QString&) { recordedAtMark = file.alarms(); };
         run.start();
         EXPECT_EQ(recordedAtMark.load(), 1);
         EXPECT_TRUE(run.monitor.alarm().isBlinking());
         EXPECT_EQ(file.count(QStringLiteral("SELECT count(*) FROM reports WHERE mail_file = "
                                             "'alarming.eml' AND server = 'web01'")),
                   1);
     }},
    // The first run ended after the record and before the mark; the next one gets the same mail.
    {"sameMailInTheNextRun_recordedOnceAndAlarmedAgain",
     [](JournalFile& file, MonitorRun& run) {
         run.start();
         MonitorRun next(file.path);
         next.start();
         EXPECT_TRUE(next.monitor.alarm().isBlinking());
         EXPECT_EQ(file.reports(), 1);
         EXPECT_EQ(file.alarms(), 1);
     }},
    {"journalCannotBeWritten_alarmFiresAndTheNoticeSaysSo",
     [](JournalFile& file, MonitorRun& run) {
         QFile blocker(QFileInfo(file.path).absolutePath());
         ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
         run.start();
         EXPECT_TRUE(run.monitor.alarm().isBlinking());
         EXPECT_EQ(run.window.alarmMessage(), u"passwd changed"_s);
         EXPECT_EQ(run.window.statusNotice(), screen::journalFailed());
         EXPECT_EQ(run.stream.problems().filter(u"journal"_s).size(), 1);
     }},
    {"alarmLeftOpenByTheLastRun_announcedUntilTheReset",
     [](JournalFile& file, MonitorRun& run) {
         run.start();
         run.monitor.resetAlarm();
         ASSERT_TRUE(run.journal.waitUntilWritten(10000));
         EXPECT_EQ(file.openAlarms(), 0);
         {
             JournalStore store(file.path);
             ASSERT_TRUE(store.open().ok());
             ASSERT_TRUE(store.record(test::reportOf(u"left.eml"_s, 1, 8, {0})).ok());
         }
         MonitorRun next(file.path);
         next.mailer.fetches.clear();
         next.start();
         EXPECT_EQ(next.window.statusNotice(), screen::openAlarmsFromEarlier(1));
         next.monitor.resetAlarm();
         ASSERT_TRUE(next.journal.waitUntilWritten(10000));
         EXPECT_EQ(next.window.statusNotice(), screen::noticeWhenWell());
         EXPECT_EQ(file.openAlarms(), 0);
         EXPECT_EQ(file.count(u"SELECT count(*) FROM resets"_s), 2);
     }},
};

INSTANTIATE_TEST_SUITE_P(Monitor, JournalWiring, ::testing::ValuesIn(kWiringCases),
                         kervo::test::rowName);

}  // namespace

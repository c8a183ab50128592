// The journal's file in the conditions a desktop meets: damaged, written by an older or a newer
// kervo, in a place that cannot be written. The monitor goes on in every one of them.
#include <sys/stat.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <functional>

#include "JournalFixture.h"
#include "journal/Journal.h"
#include "support/MonitorFixture.h"
#include "support/Printing.h"

using namespace kervo;
using namespace Qt::StringLiterals;
using kervo::test::JournalFile;
using kervo::test::reportOf;

namespace {

const QByteArray kGarbage = QByteArray("not a journal at all\n").repeated(200);

// Writes the first version's schema as that version wrote it, with one open alarm.
void writeVersionOne(const QString& path) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"v1"_s);
        db.setDatabaseName(path);
        ASSERT_TRUE(db.open());
        QSqlQuery query(db);
        for (const char* sql :
             {"CREATE TABLE reports (id INTEGER PRIMARY KEY, mail_file TEXT NOT NULL UNIQUE, "
              "received INTEGER NOT NULL, dial INTEGER NOT NULL, server TEXT NOT NULL, subject "
              "TEXT NOT NULL, body TEXT NOT NULL, body_cut INTEGER NOT NULL DEFAULT 0)",
              "CREATE INDEX reports_by_time ON reports (received)",
              "CREATE TABLE alarms (id INTEGER PRIMARY KEY, report_id INTEGER NOT NULL "
              "REFERENCES reports (id) ON DELETE CASCADE, rule INTEGER NOT NULL, tag TEXT NOT "
              "NULL, message TEXT NOT NULL, raised INTEGER NOT NULL, acknowledged INTEGER, "
              "UNIQUE (report_id, rule))",
              "CREATE TABLE resets (id INTEGER PRIMARY KEY, at INTEGER NOT NULL)",
              "INSERT INTO reports VALUES (1, 'old.eml', 1772000000000, 1, 'web01', 'web01 "
              "passwd', 'body', 0)",
              "INSERT INTO alarms VALUES (1, 1, 0, 'R0', 'passwd changed', 1772000000000, NULL)",
              "PRAGMA user_version = 1"}) {
            ASSERT_TRUE(query.exec(QString::fromUtf8(sql))) << sql;
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(u"v1"_s);
}

struct Opened {
    test::MonitorFixture f;
    JournalFile file;
    std::unique_ptr<Journal> journal;
};

struct FileCase {
    const char* name;
    std::function<void(JournalFile&)> prepare;
    std::function<void(Opened&)> check;
};

using kervo::test::PrintTo;

class JournalFileConditions : public ::testing::TestWithParam<FileCase> {};

TEST_P(JournalFileConditions, start_handlesTheFileAsTheOperatorNeeds) {
    Opened o;
    GetParam().prepare(o.file);
    o.journal = std::make_unique<Journal>(o.file.path, 90, o.f.clock, o.f.log);
    o.journal->start();
    o.journal->waitForUpkeep();
    GetParam().check(o);
}

QStringList asideFiles(const JournalFile& file) {
    return QDir(QFileInfo(file.path).absolutePath())
        .entryList({u"journal.sqlite.damaged-*"_s}, QDir::Files);
}

const FileCase kFileCases[] = {
    {"newFile_ownerOnlyAndWriteAheadLog", [](JournalFile&) {},
     [](Opened& o) {
         o.journal->record(reportOf(u"a.eml"_s, 1, 8, {0}));
         ASSERT_TRUE(o.journal->waitUntilWritten(10000));
         struct stat info {};
         ASSERT_EQ(::stat(QFile::encodeName(o.file.path).constData(), &info), 0);
         EXPECT_EQ(info.st_mode & 0777, 0600u);
         ASSERT_EQ(::stat(QFile::encodeName(o.file.path + u"-wal"_s).constData(), &info), 0);
         EXPECT_EQ(info.st_mode & 0777, 0600u);
         EXPECT_EQ(o.file.alarms(), 1);
         EXPECT_FALSE(o.journal->inTrouble());
     }},
    {"damagedFile_movedAsideWholeAndANewOneBegun",
     [](JournalFile& file) {
         QDir().mkpath(QFileInfo(file.path).absolutePath());
         QFile out(file.path);
         ASSERT_TRUE(out.open(QIODevice::WriteOnly));
         out.write(kGarbage);
     },
     [](Opened& o) {
         const QStringList aside = asideFiles(o.file);
         ASSERT_EQ(aside.size(), 1);
         QFile kept(QFileInfo(o.file.path).absolutePath() + u'/' + aside.front());
         ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
         EXPECT_EQ(kept.readAll(), kGarbage) << "moved aside, never emptied";
         EXPECT_EQ(o.f.warnings.size(), 1);
         o.journal->record(reportOf(u"a.eml"_s, 1, 8, {0}));
         ASSERT_TRUE(o.journal->waitUntilWritten(10000));
         EXPECT_EQ(o.file.alarms(), 1);
         EXPECT_FALSE(o.journal->inTrouble());
     }},
    {"versionOneFile_broughtUpKeepingItsOpenAlarm",
     [](JournalFile& file) { writeVersionOne(file.path); },
     [](Opened& o) {
         EXPECT_EQ(o.journal->store().schemaVersion(), JournalStore::kSchemaVersion);
         EXPECT_EQ(o.journal->openAlarmCount(), 1);
         EXPECT_TRUE(o.journal->acknowledge(1, u"op"_s, u"seen"_s).ok());
         EXPECT_EQ(o.file.count(QStringLiteral("SELECT count(*) FROM alarms WHERE comment = "
                                               "'seen' AND acknowledged_by = 'op'")),
                   1);
         EXPECT_TRUE(asideFiles(o.file).isEmpty());
     }},
    {"newerVersion_leftAsItIsAndReported",
     [](JournalFile& file) {
         writeVersionOne(file.path);
         ASSERT_EQ(file.count(u"PRAGMA user_version = 99"_s), 0);
     },
     [](Opened& o) {
         EXPECT_TRUE(o.journal->inTrouble());
         EXPECT_EQ(o.file.count(u"PRAGMA user_version"_s), 99);
         EXPECT_EQ(o.file.reports(), 1);
         EXPECT_TRUE(asideFiles(o.file).isEmpty());
     }},
    // A file where the folder should be: no rights make it fail for root as well.
    {"placeThatCannotBeWritten_reportedOnceNotPerReport",
     [](JournalFile& file) {
         QFile blocker(QFileInfo(file.path).absolutePath());
         ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
     },
     [](Opened& o) {
         for (int i = 0; i < 3; ++i) {
             o.journal->record(reportOf(u"m%1.eml"_s.arg(i), 1, 8, {0}));
             o.f.clock.time = o.f.clock.time.addSecs(40);  // each one a retry
             ASSERT_TRUE(o.journal->waitUntilWritten(10000));
         }
         QCoreApplication::processEvents();  // the writer's word reaches this thread
         EXPECT_TRUE(o.journal->inTrouble());
         EXPECT_EQ(o.f.stream.problems().filter(u"journal"_s).size(), 1)
             << o.f.stream.lines().join(u'\n').toStdString();
     }},
    // Nobody waits for the writing here (a wait would hurry the writer): the record is written
    // all the same once the writer has gathered its batch.
    {"recordNobodyWaitsFor_writtenAllTheSame", [](JournalFile&) {},
     [](Opened& o) {
         o.journal->record(reportOf(u"a.eml"_s, 1, 8, {0}));
         const QDeadlineTimer deadline(10000);
         while (o.journal->isWriting() && !deadline.hasExpired()) {
             QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
         }
         EXPECT_FALSE(o.journal->isWriting()) << "the record is still queued";
         EXPECT_EQ(o.file.alarms(), 1);
     }},
    // SQLite copies the write-ahead log into the file and removes it when the last connection
    // closes; a connection that did not close (a statement of its own left behind) keeps it.
    {"journalGone_everyConnectionClosed", [](JournalFile&) {},
     [](Opened& o) {
         o.journal->record(reportOf(u"a.eml"_s, 1, 8, {0}));
         ASSERT_TRUE(o.journal->waitUntilWritten(10000));
         o.journal.reset();
         EXPECT_FALSE(QFile::exists(o.file.path + u"-wal"_s));
         EXPECT_EQ(o.file.alarms(), 1);
     }},
};

INSTANTIATE_TEST_SUITE_P(Journal, JournalFileConditions, ::testing::ValuesIn(kFileCases),
                         kervo::test::rowName);

}  // namespace

// The journal's records against a real SQLite file: what is kept, what is kept once, what the
// reset and the acknowledgement leave open, and what the retention removes.
#include <functional>

#include "JournalFixture.h"
#include "support/Printing.h"

using namespace kervo;
using namespace Qt::StringLiterals;
using kervo::test::JournalFile;
using kervo::test::reportOf;

namespace {

const QDateTime kNow(QDate(2026, 3, 20), QTime(12, 0));

struct RecordCase {
    const char* name;
    std::function<void(JournalStore&)> act;
    qint64 reports;
    qint64 alarms;
    qint64 open;
};

using kervo::test::PrintTo;

class JournalRecords : public ::testing::TestWithParam<RecordCase> {};

TEST_P(JournalRecords, afterTheSteps_fileHoldsWhatWasRecorded) {
    JournalFile file;
    {
        JournalStore store(file.path);
        const Result<void> opened = store.open();
        ASSERT_TRUE(opened.ok()) << opened.error().message.toStdString();
        GetParam().act(store);
    }
    EXPECT_EQ(file.reports(), GetParam().reports);
    EXPECT_EQ(file.alarms(), GetParam().alarms);
    EXPECT_EQ(file.openAlarms(), GetParam().open);
}

void recordOk(JournalStore& store, const ReportRecord& report) {
    const Result<void> recorded = store.record(report);
    ASSERT_TRUE(recorded.ok()) << recorded.error().message.toStdString();
}

const RecordCase kRecordCases[] = {
    {"calmReport_keptWithoutAlarm",
     [](JournalStore& s) { recordOk(s, reportOf(u"a.eml"_s, 1, 8)); }, 1, 0, 0},
    {"reportOfTwoRules_twoOpenAlarms",
     [](JournalStore& s) {
         recordOk(s, reportOf(u"a.eml"_s, 1, 8, {0, 3}));
     },
     1, 2, 2},
    // A crash after the record and before the mail was marked analysed: the next run analyses
    // the same mail again, on a new connection.
    {"sameMailAgainAfterACrash_keptOnce",
     [](JournalStore& s) {
         recordOk(s, reportOf(u"a.eml"_s, 1, 8, {0, 3}));
         s.close();
         ASSERT_TRUE(s.open().ok());
         recordOk(s, reportOf(u"a.eml"_s, 1, 9, {0, 3}));
     },
     1, 2, 2},
    {"resetAfterTwoReports_noneOpenThenANewOneOpen",
     [](JournalStore& s) {
         recordOk(s, reportOf(u"a.eml"_s, 1, 8, {0}));
         recordOk(s, reportOf(u"b.eml"_s, 1, 9, {1}));
         const Result<int> acknowledged = s.acknowledgeOpen(kNow, u"op"_s);
         ASSERT_TRUE(acknowledged.ok());
         EXPECT_EQ(acknowledged.value(), 2);
         recordOk(s, reportOf(u"c.eml"_s, 1, 10, {1}));
     },
     3, 3, 1},
    {"oneAcknowledgedWithComment_theOtherStaysOpen",
     [](JournalStore& s) {
         recordOk(s, reportOf(u"a.eml"_s, 1, 8, {0}));
         recordOk(s, reportOf(u"b.eml"_s, 1, 9, {1}));
         const auto listed = s.alarms({});
         ASSERT_TRUE(listed.ok());
         ASSERT_EQ(listed.value().size(), 2u);
         const AlarmEntry newest = listed.value().front();
         EXPECT_EQ(newest.subject, u"web01 check"_s);
         ASSERT_TRUE(s.acknowledge(newest.id, kNow, u"op"_s, u"known"_s).ok());
         const auto after = s.alarms({});
         ASSERT_TRUE(after.ok());
         // the open one first, then the acknowledged one with its comment
         EXPECT_TRUE(after.value().front().isOpen());
         EXPECT_EQ(after.value().back().comment, u"known"_s);
         EXPECT_EQ(after.value().back().acknowledged, kNow);
     },
     2, 2, 1},
    // Ninety days back from the 20th: the 1st of March is kept, December goes, unless its alarm
    // was never acknowledged.
    {"retention_oldGoesButRecentAndOpenStay",
     [](JournalStore& s) {
         recordOk(s, reportOf(u"old-acknowledged.eml"_s, 1, 8, {0}));
         ASSERT_TRUE(s.acknowledgeOpen(kNow, u"op"_s).ok());
         recordOk(s, reportOf(u"old-open.eml"_s, 1, 8, {0}));
         recordOk(s, reportOf(u"old-calm.eml"_s, 2, 8));
         recordOk(s, reportOf(u"recent.eml"_s, 19, 8));
         const Result<int> removed =
             s.removeOlderThan(QDateTime(QDate(2026, 3, 10), QTime(0, 0)), 1);
         ASSERT_TRUE(removed.ok());
         EXPECT_EQ(removed.value(), 1) << "the batch bounds what one step removes";
         ASSERT_TRUE(s.removeOlderThan(QDateTime(QDate(2026, 3, 10), QTime(0, 0)), 10).ok());
     },
     2, 1, 1},
    {"hugeReport_keptUpToTheLimitAndMarkedCut",
     [](JournalStore& s) {
         ReportRecord report = reportOf(u"a.eml"_s, 1, 8);
         report.body = QString(kJournalTextLimit + 10, u'x');
         recordOk(s, report);
         const Result<KeptReport> kept = s.report(1);
         ASSERT_TRUE(kept.ok());
         EXPECT_EQ(kept.value().body.size(), kJournalTextLimit);
         EXPECT_TRUE(kept.value().cut);
     },
     1, 0, 0},
    // Every text as the mail had it, in any script, and as long as it is: the texts go to SQLite
    // as UTF-8, whose length in bytes is not the length in characters.
    {"japaneseTexts_readBackAsTheyCame",
     [](JournalStore& s) {
         ReportRecord report = reportOf(u"改ざん.eml"_s, 1, 8, {0}, u"ウェブ01"_s);
         report.subject = u"ウェブ01 の改ざん検知"_s;
         report.body = u"/etc/passwd が変更されました\n𠮷野家 ✓"_s;
         report.hits.front().tag = u"改ざん"_s;
         report.hits.front().message = u"パスワードファイルの変更"_s;
         recordOk(s, report);
         const Result<KeptReport> kept = s.report(1);
         ASSERT_TRUE(kept.ok());
         EXPECT_EQ(kept.value().subject, report.subject);
         EXPECT_EQ(kept.value().body, report.body);
         const Result<std::vector<AlarmEntry>> listed = s.alarms({});
         ASSERT_TRUE(listed.ok());
         ASSERT_EQ(listed.value().size(), 1u);
         EXPECT_EQ(listed.value().front().server, report.server);
         EXPECT_EQ(listed.value().front().tag, report.hits.front().tag);
         EXPECT_EQ(listed.value().front().message, report.hits.front().message);
         recordOk(s, report);  // the same mail file again: known by its name
     },
     1, 1, 1},
};

INSTANTIATE_TEST_SUITE_P(Journal, JournalRecords, ::testing::ValuesIn(kRecordCases),
                         kervo::test::rowName);

// The history's filters and the chart's counts.
struct ListCase {
    const char* name;
    AlarmFilter filter;
    QStringList subjects;  // of the alarms listed, in order
};

class JournalListing : public ::testing::TestWithParam<ListCase> {};

TEST_P(JournalListing, filter_listsTheseAlarmsNewestFirst) {
    JournalFile file;
    JournalStore store(file.path);
    ASSERT_TRUE(store.open().ok());
    const struct {
        const char* file;
        int day;
        const char* server;
        const char* subject;
    } reports[] = {{"a.eml", 1, "web01", "web01 passwd"},
                   {"b.eml", 2, "db01", "db01 100% full"},
                   {"c.eml", 3, "web01", "web01 shadow"}};
    for (const auto& r : reports) {
        ReportRecord report =
            reportOf(QString::fromUtf8(r.file), r.day, 8, {0}, QString::fromUtf8(r.server));
        report.subject = QString::fromUtf8(r.subject);
        ASSERT_TRUE(store.record(report).ok());
    }
    const auto listed = store.alarms(GetParam().filter);
    ASSERT_TRUE(listed.ok()) << listed.error().message.toStdString();
    QStringList subjects;
    for (const AlarmEntry& entry : listed.value()) {
        subjects << entry.subject;
    }
    EXPECT_EQ(subjects, GetParam().subjects);
}

const ListCase kListCases[] = {
    {"noFilter_allNewestFirst", {}, {u"web01 shadow"_s, u"db01 100% full"_s, u"web01 passwd"_s}},
    {"server_onlyItsAlarms", {{}, u"web01"_s, {}}, {u"web01 shadow"_s, u"web01 passwd"_s}},
    {"since_fromThatDayOn",
     {QDateTime(QDate(2026, 3, 2), QTime(0, 0)), {}, {}},
     {u"web01 shadow"_s, u"db01 100% full"_s}},
    {"textInAnyCase_matchesTheSubject", {{}, {}, u"SHADOW"_s}, {u"web01 shadow"_s}},
    {"percentSign_meantAsWritten", {{}, {}, u"0%"_s}, {u"db01 100% full"_s}},
};

INSTANTIATE_TEST_SUITE_P(Journal, JournalListing, ::testing::ValuesIn(kListCases),
                         kervo::test::rowName);

TEST(JournalActivity, reportsAndAlarmsPerServerAndHour_countedInTheirPeriod) {
    JournalFile file;
    JournalStore store(file.path);
    ASSERT_TRUE(store.open().ok());
    ASSERT_TRUE(store.record(reportOf(u"a.eml"_s, 1, 8, {0, 1})).ok());
    ASSERT_TRUE(store.record(reportOf(u"b.eml"_s, 1, 8)).ok());
    ASSERT_TRUE(store.record(reportOf(u"c.eml"_s, 1, 10, {}, u"db01"_s)).ok());
    ASSERT_TRUE(store.record(reportOf(u"d.eml"_s, 1, 6)).ok());  // before the start
    const auto counted = store.activity(QDateTime(QDate(2026, 3, 1), QTime(7, 0)), 3600, 4);
    ASSERT_TRUE(counted.ok());
    ASSERT_EQ(counted.value().size(), 2u);
    EXPECT_EQ(counted.value()[0].server, u"db01"_s);
    EXPECT_EQ(counted.value()[0].reports, (std::vector<int>{0, 0, 0, 1}));
    EXPECT_EQ(counted.value()[1].reports, (std::vector<int>{0, 2, 0, 0}));
    EXPECT_EQ(counted.value()[1].alarms, (std::vector<int>{0, 2, 0, 0}));
}

}  // namespace

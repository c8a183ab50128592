#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "CampaignMail.h"
#include "MailboxCheck.h"

namespace kervo::faults {
namespace {

QByteArray fetched(int seq) {
    return asFetched(campaignMail(seq, 500, 9));
}

SavedMail saved(int seq) {
    return {QStringLiteral("new/%1").arg(seq), fetched(seq)};
}

struct Case {
    const char* name;
    QSet<int> onServer;
    QList<SavedMail> saved;
    QList<int> lost;
    int damaged;
    int strays;
    int duplicates;
    int onBoth;
};

std::vector<Case> cases() {
    const SavedMail cut{QStringLiteral("new/cut"), fetched(2).left(300)};
    const SavedMail noHeader{QStringLiteral("new/junk"), "just bytes\r\n"};
    const SavedMail otherMail{QStringLiteral("new/other"), fetched(7)};
    const SavedMail oneByteShort{QStringLiteral("new/short"), fetched(3).chopped(1)};
    return {
        {"allOnServer", {1, 2, 3}, {}, {}, 0, 0, 0, 0},
        {"allSaved", {}, {saved(1), saved(2), saved(3)}, {}, 0, 0, 0, 0},
        {"splitBetweenSides", {1}, {saved(2), saved(3)}, {}, 0, 0, 0, 0},
        {"oneNowhere", {1}, {saved(3)}, {2}, 0, 0, 0, 0},
        {"cutCopyOnly", {1, 3}, {cut}, {2}, 1, 0, 0, 0},
        {"cutCopyStillOnServer", {1, 2, 3}, {cut}, {}, 1, 0, 0, 0},
        {"lastByteMissing", {1, 2}, {oneByteShort}, {3}, 1, 0, 0, 0},
        {"savedTwice", {}, {saved(1), saved(1), saved(2), saved(3)}, {}, 0, 0, 1, 0},
        {"savedAndOnServer", {1, 2, 3}, {saved(2)}, {}, 0, 0, 0, 1},
        {"noNumber", {1, 2, 3}, {noHeader}, {}, 0, 1, 0, 0},
        {"unknownNumber", {1, 2, 3}, {otherMail}, {}, 0, 1, 0, 0},
    };
}

void PrintTo(const Case& c, std::ostream* out) {
    *out << c.name;
}

class Judge : public ::testing::TestWithParam<Case> {};

TEST_P(Judge, sides_giveExpectedVerdict) {
    const Case& c = GetParam();
    const QMap<int, QByteArray> expected = {{1, fetched(1)}, {2, fetched(2)}, {3, fetched(3)}};
    const Verdict verdict = judge(expected, c.onServer, c.saved);
    EXPECT_EQ(verdict.lost, c.lost);
    EXPECT_EQ(verdict.damaged.size(), c.damaged);
    EXPECT_EQ(verdict.strays.size(), c.strays);
    EXPECT_EQ(verdict.duplicates(), c.duplicates);
    EXPECT_EQ(verdict.onBoth, c.onBoth);
    EXPECT_EQ(verdict.sound(), c.lost.isEmpty() && c.damaged == 0 && c.strays == 0);
    EXPECT_EQ(verdict.describe().isEmpty(), verdict.sound());
}

INSTANTIATE_TEST_SUITE_P(Cases, Judge, ::testing::ValuesIn(cases()),
                         [](const auto& p) { return std::string(p.param.name); });

void put(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

TEST(MailFolders, scans_readNewAndCurButNotTmp) {
    QTemporaryDir dir;
    const QString maildir = dir.filePath(QStringLiteral("maildir"));
    put(maildir + QStringLiteral("/new/a"), campaignMail(4, 100, 1));
    put(maildir + QStringLiteral("/cur/b:2,S"), campaignMail(5, 100, 1));
    put(maildir + QStringLiteral("/tmp/c"), campaignMail(6, 100, 1));
    put(maildir + QStringLiteral("/cur/d"), "Subject: no number\n\n");
    put(maildir + QStringLiteral("/dovecot-uidlist"), "X-Kervo-Seq: 8\n");
    EXPECT_EQ(numbersInMaildir(maildir), (QSet<int>{4, 5}));

    const QString folder = dir.filePath(QStringLiteral("kervo"));
    put(folder + QStringLiteral("/new/1.eml"), fetched(1));
    put(folder + QStringLiteral("/cur/2.eml"), fetched(2));
    put(folder + QStringLiteral("/tmp/3.eml"), fetched(3).left(10));
    put(folder + QStringLiteral("/meta/uidl"), "0001\n");
    const QList<SavedMail> mails = savedMails(folder);
    ASSERT_EQ(mails.size(), 2);
    EXPECT_EQ(mails[0].name, QStringLiteral("new/1.eml"));
    EXPECT_EQ(mails[0].bytes, fetched(1));
    EXPECT_EQ(mails[1].name, QStringLiteral("cur/2.eml"));
    EXPECT_EQ(draftsIn(folder), 1);
}

}  // namespace
}  // namespace kervo::faults

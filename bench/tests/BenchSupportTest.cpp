#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <numeric>

#include "support/BenchSupport.h"
#include "support/MailboxFill.h"

namespace kervo::bench {
namespace {

TEST(MemoryStatus, procStatusTexts_giveTheirFigures) {
    const struct {
        const char* name;
        QByteArray text;
        qint64 rss;
        qint64 hwm;
    } cases[] = {
        {"usual", "Name:\tkervo\nVmPeak:\t  900 kB\nVmHWM:\t   81234 kB\nVmRSS:\t   80000 kB\n",
         80000, 81234},
        {"lastLineWithoutEnd", "VmHWM:\t5 kB\nVmRSS:\t4 kB", 4, 5},
        {"missing", "Name:\tx\n", -1, -1},
        {"labelInsideAnotherLine", "XVmRSS:\t7 kB\nVmRSS:\t9 kB\n", 9, -1},
        {"notKilobytes", "VmRSS:\t12 MB\nVmHWM:\tlots kB\n", -1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const MemoryStatus status = parseMemoryStatus(c.text);
        EXPECT_EQ(status.rssKb, c.rss);
        EXPECT_EQ(status.hwmKb, c.hwm);
    }
}

TEST(MemoryStatus, ownProcess_isReadable) {
    const MemoryStatus status = readMemoryStatus();
    EXPECT_GT(status.rssKb, 0);
    EXPECT_GE(status.hwmKb, status.rssKb);
}

TEST(Summarise, samples_giveNearestRankFigures) {
    std::vector<double> hundred(100);
    std::iota(hundred.begin(), hundred.end(), 1.0);
    std::reverse(hundred.begin(), hundred.end());
    const Summary s = summarise(hundred);
    EXPECT_EQ(s.count, 100);
    EXPECT_DOUBLE_EQ(s.min, 1);
    EXPECT_DOUBLE_EQ(s.median, 50);
    EXPECT_DOUBLE_EQ(s.p99, 99);
    EXPECT_DOUBLE_EQ(s.max, 100);

    const Summary one = summarise({7.5});
    EXPECT_DOUBLE_EQ(one.median, 7.5);
    EXPECT_DOUBLE_EQ(one.p99, 7.5);
    EXPECT_EQ(summarise({}).count, 0);
}

TEST(Arguments, keyValueArguments_areParsedOrRefused) {
    const QStringList allowed{QStringLiteral("port"), QStringLiteral("dir")};
    QString error;
    const auto good =
        Arguments::parse({QStringLiteral("port=110"), QStringLiteral("dir=/a=b")}, allowed, error);
    ASSERT_TRUE(good);
    EXPECT_EQ(good->number(QStringLiteral("port"), 0), 110);
    EXPECT_EQ(good->text(QStringLiteral("dir")), QStringLiteral("/a=b"));
    EXPECT_EQ(good->number(QStringLiteral("missing"), 42), 42);

    const auto notNumber = Arguments::parse({QStringLiteral("port=abc")}, allowed, error);
    ASSERT_TRUE(notNumber);
    EXPECT_FALSE(notNumber->number(QStringLiteral("port"), 0).has_value());

    for (const QString& bad :
         {QStringLiteral("verbose"), QStringLiteral("=x"), QStringLiteral("other=1")}) {
        error.clear();
        EXPECT_FALSE(Arguments::parse({bad}, allowed, error)) << bad.toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
}

TEST(ResultLine, valuesWithSpaces_stayOneFieldEach) {
    EXPECT_EQ(
        resultLine(QStringLiteral("kervo"), {{QStringLiteral("mails"), QStringLiteral("10")},
                                             {QStringLiteral("note"), QStringLiteral("a b")}}),
        QStringLiteral("RESULT kervo mails=10 note=a_b"));
}

class MailboxFillTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dir_.isValid());
        ASSERT_TRUE(QDir(dir_.path()).mkpath(QStringLiteral("templates")));
        ASSERT_TRUE(QDir(dir_.path()).mkpath(QStringLiteral("box/new")));
        for (const char* name : {"b,S=3,W=4", "a,S=3,W=4", "c,S=3,W=4"}) {
            QFile file(templates() + u'/' + QString::fromLatin1(name));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(name, 1);
        }
    }
    QString templates() const { return dir_.path() + QStringLiteral("/templates"); }
    QString box() const { return dir_.path() + QStringLiteral("/box"); }
    QStringList deposited() const {
        return QDir(box() + QStringLiteral("/new")).entryList(QDir::Files, QDir::Name);
    }

    QTemporaryDir dir_;
};

TEST_F(MailboxFillTest, deposits_takeTemplatesInTurnUnderFreshNames) {
    MailboxFill fill(templates(), box());
    ASSERT_TRUE(fill.load().isEmpty());
    EXPECT_EQ(fill.available(), 3);
    ASSERT_TRUE(fill.deposit(2).isEmpty());
    ASSERT_TRUE(fill.deposit(2).isEmpty());
    EXPECT_EQ(deposited(), (QStringList{depositName(1, QStringLiteral("a,S=3,W=4")),
                                        depositName(2, QStringLiteral("b,S=3,W=4")),
                                        depositName(3, QStringLiteral("c,S=3,W=4")),
                                        depositName(4, QStringLiteral("a,S=3,W=4"))}));
    struct stat info {};
    const QByteArray first = QFile::encodeName(templates() + QStringLiteral("/a,S=3,W=4"));
    ASSERT_EQ(::stat(first.constData(), &info), 0);
    EXPECT_EQ(info.st_nlink, 3u);  // the template and its two deposits share the file
}

TEST_F(MailboxFillTest, missingPlaces_areReportedNotIgnored) {
    MailboxFill empty(box() + QStringLiteral("/new"), box());
    EXPECT_FALSE(empty.load().isEmpty());
    EXPECT_FALSE(empty.deposit(1).isEmpty());

    MailboxFill nowhere(templates(), dir_.path() + QStringLiteral("/absent"));
    ASSERT_TRUE(nowhere.load().isEmpty());
    EXPECT_FALSE(nowhere.deposit(1).isEmpty());
}

}  // namespace
}  // namespace kervo::bench

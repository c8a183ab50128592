#include <gtest/gtest.h>

#include "support/CountingMailer.h"

namespace kervo::bench {
namespace {

// Answers from a script and notes what reached it.
class ScriptedMailbox final : public Mailbox {
  public:
    FetchOutcome next;
    QStringList calls;

    FetchOutcome fetchAll(const MailAccount& account) override {
        calls << QStringLiteral("fetchAll ") + account.server;
        return next;
    }
    Result<ReportText> readReport(const QString& file) override {
        calls << QStringLiteral("readReport ") + file;
        if (file == u"bad") {
            return Error{QStringLiteral("bad cannot be read")};
        }
        return ReportText{file, file};
    }
    void markAnalysed(const QString& file) override {
        calls << QStringLiteral("markAnalysed ") + file;
    }
    void purgeAnalysed() override { calls << QStringLiteral("purgeAnalysed"); }
};

TEST(CountingMailer, everyCall_reachesTheMailboxWithItsAnswer) {
    ScriptedMailbox inner;
    CountingMailer mailer(inner);
    inner.next.files = QStringList{QStringLiteral("a")};
    const FetchOutcome fetched =
        mailer.fetchAll({QStringLiteral("s"), QStringLiteral("u"), QStringLiteral("p")});
    EXPECT_EQ(fetched.files, QStringList{QStringLiteral("a")});
    const Result<ReportText> good = mailer.readReport(QStringLiteral("a"));
    ASSERT_TRUE(good.ok());
    EXPECT_EQ(QStringList({good.value().subject, good.value().body}),
              (QStringList{QStringLiteral("a"), QStringLiteral("a")}));
    const Result<ReportText> bad = mailer.readReport(QStringLiteral("bad"));
    ASSERT_FALSE(bad.ok());
    EXPECT_EQ(bad.error().message, QStringLiteral("bad cannot be read"));
    mailer.markAnalysed(QStringLiteral("a"));
    mailer.purgeAnalysed();
    EXPECT_EQ(inner.calls,
              (QStringList{QStringLiteral("fetchAll s"), QStringLiteral("readReport a"),
                           QStringLiteral("readReport bad"), QStringLiteral("markAnalysed a"),
                           QStringLiteral("purgeAnalysed")}));
    EXPECT_EQ(mailer.reads(), 2);
    EXPECT_EQ(mailer.failedFetches(), 0);
}

TEST(CountingMailer, firstReadOfEachPoll_isAnnouncedOnce) {
    ScriptedMailbox inner;
    CountingMailer mailer(inner);
    int announced = 0;
    mailer.onFirstRead = [&] { ++announced; };
    for (int poll = 1; poll <= 3; ++poll) {
        inner.next = {};
        if (poll == 2) {
            inner.next.ended = Error{QStringLiteral("refused")};
        }
        (void)mailer.fetchAll({});
        for (int i = 0; i < 4; ++i) {
            (void)mailer.readReport(QStringLiteral("m"));
        }
        EXPECT_EQ(announced, poll);
    }
    EXPECT_EQ(mailer.reads(), 12);
    EXPECT_EQ(mailer.failedFetches(), 1);
}

}  // namespace
}  // namespace kervo::bench

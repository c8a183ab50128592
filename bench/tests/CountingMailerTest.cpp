#include <gtest/gtest.h>

#include "support/CountingMailer.h"

namespace kervo::bench {
namespace {

// Answers from a script and notes what reached it.
class ScriptedComponent final : public MailComponent {
  public:
    FetchResult next;
    QStringList calls;

    FetchResult RcvMail(const QString&, const QString&, const QString&, const QString& command,
                        const QString& folder) override {
        calls << QStringLiteral("RcvMail %1 %2").arg(command, folder);
        return next;
    }
    ReadResult ReadMail(const QString& element, const QString&, const QString&) override {
        calls << QStringLiteral("ReadMail ") + element;
        if (element == u"bad") {
            return {{}, {}, QStringLiteral("bad cannot be read")};
        }
        return {element, element, {}};
    }
    void MarkAnalysed(const QString& element, const QString&) override {
        calls << QStringLiteral("MarkAnalysed ") + element;
    }
    void PurgeAnalysed(const QString& folder) override {
        calls << QStringLiteral("PurgeAnalysed ") + folder;
    }
};

TEST(CountingMailer, everyCall_reachesTheComponentWithItsAnswer) {
    ScriptedComponent inner;
    CountingMailer mailer(inner);
    inner.next.files = QStringList{QStringLiteral("a")};
    const FetchResult fetched =
        mailer.RcvMail(QStringLiteral("s"), QStringLiteral("u"), QStringLiteral("p"),
                       QStringLiteral("SAVEALLD"), QStringLiteral("/f"));
    EXPECT_EQ(fetched.files, QStringList{QStringLiteral("a")});
    const ReadResult good =
        mailer.ReadMail(QStringLiteral("a"), QStringLiteral("subject:"), QStringLiteral("/f"));
    EXPECT_EQ(QStringList({good.header, good.body, good.error}),
              (QStringList{QStringLiteral("a"), QStringLiteral("a"), QString()}));
    EXPECT_EQ(
        mailer.ReadMail(QStringLiteral("bad"), QStringLiteral("subject:"), QStringLiteral("/f"))
            .error,
        QStringLiteral("bad cannot be read"));
    mailer.MarkAnalysed(QStringLiteral("a"), QStringLiteral("/f"));
    mailer.PurgeAnalysed(QStringLiteral("/f"));
    EXPECT_EQ(inner.calls,
              (QStringList{QStringLiteral("RcvMail SAVEALLD /f"), QStringLiteral("ReadMail a"),
                           QStringLiteral("ReadMail bad"), QStringLiteral("MarkAnalysed a"),
                           QStringLiteral("PurgeAnalysed /f")}));
    EXPECT_EQ(mailer.reads(), 2);
    EXPECT_EQ(mailer.failedFetches(), 0);
}

TEST(CountingMailer, firstReadOfEachPoll_isAnnouncedOnce) {
    ScriptedComponent inner;
    CountingMailer mailer(inner);
    int announced = 0;
    mailer.onFirstRead = [&] { ++announced; };
    for (int poll = 1; poll <= 3; ++poll) {
        inner.next = {};
        if (poll == 2) {
            inner.next.error = QStringLiteral("refused");
        }
        mailer.RcvMail({}, {}, {}, QStringLiteral("SAVEALLD"), {});
        for (int i = 0; i < 4; ++i) {
            (void)mailer.ReadMail(QStringLiteral("m"), {}, {});
        }
        EXPECT_EQ(announced, poll);
    }
    EXPECT_EQ(mailer.reads(), 12);
    EXPECT_EQ(mailer.failedFetches(), 1);
}

}  // namespace
}  // namespace kervo::bench

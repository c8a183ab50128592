#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>

#include "MimeFixtures.h"
#include "mail/mime/ReadMailCommand.h"

namespace kervo {
namespace {

struct CommandRun {
    int result;
    QString out;
    QString err;
};

CommandRun run(const QStringList& files) {
    CommandRun r{0, {}, {}};
    QTextStream out(&r.out);
    QTextStream err(&r.err);
    r.result = runReadMailCommand(files, out, err);
    return r;
}

TEST(ReadMailCommandTest, readableFiles_showSubjectAndBodyAndSucceed) {
    const QString mail = test::fixturePath("iso2022jp_split_subject.eml");
    const CommandRun r = run({mail});
    EXPECT_EQ(r.result, 0);
    EXPECT_TRUE(r.err.isEmpty());
    EXPECT_TRUE(r.out.contains(mail));
    EXPECT_TRUE(r.out.contains(QStringLiteral("Subject: 【警告】サーバ改ざん検知 web01\n")));
    EXPECT_TRUE(r.out.contains(QStringLiteral("改ざんを検知しました。\r\n対象: /etc/passwd\r\n")));
}

TEST(ReadMailCommandTest, unreadableFile_isNamedAndFailsButOthersStillShown) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString missing = dir.filePath(QStringLiteral("gone.eml"));
    const QString good = test::fixturePath("eucjp_body.eml");
    const CommandRun r = run({missing, good});
    EXPECT_EQ(r.result, 1);
    EXPECT_TRUE(r.err.contains(missing));
    EXPECT_FALSE(r.out.contains(missing));
    EXPECT_TRUE(r.out.contains(QStringLiteral("Subject: 日次報告\n")));
}

TEST(ReadMailCommandTest, controlCharacters_areMadeVisible) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("ctl.eml"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    // The encoded word hides ESC [2J ESC [1H and a line break that would fake a separator.
    file.write("Subject: bell\x07 and =?UTF-8?B?G1syShtbMUgKPT09?=\r\n\r\nrow\x1b[31m\r\n");
    file.close();
    const CommandRun r = run({path});
    EXPECT_EQ(r.result, 0);
    EXPECT_FALSE(r.out.contains(QChar(0x1b)));
    EXPECT_FALSE(r.out.contains(QChar(0x07)));
    EXPECT_TRUE(r.out.contains(
        QString::fromUtf16(u"Subject: bell\u2407 and \u241b[2J\u241b[1H\u240a===\n")));
    EXPECT_TRUE(r.out.contains(QString::fromUtf16(u"row\u241b[31m\r\n")));
}

}  // namespace
}  // namespace kervo

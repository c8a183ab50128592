#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <thread>
#include <vector>

#include "MimeFixtures.h"
#include "mail/mime/MimeReader.h"

namespace kervo {
namespace {

const QString kSubject = QStringLiteral("subject:");

struct FixtureCase {
    const char* file;
    QString subject;
    QString body;
};

class ReadMailFixtureTest : public ::testing::TestWithParam<FixtureCase> {};

TEST_P(ReadMailFixtureTest, savedMail_givesSubjectAndBody) {
    const FixtureCase& c = GetParam();
    const auto texts = readMailFile(test::fixturePath(c.file), kSubject);
    ASSERT_TRUE(texts.has_value());
    EXPECT_EQ(texts->header, c.subject);
    EXPECT_EQ(texts->body, c.body);
}

// The texts are the originals the fixtures were encoded from (see data/make_fixtures.py).
INSTANTIATE_TEST_SUITE_P(
    Fixtures, ReadMailFixtureTest,
    ::testing::Values(
        FixtureCase{"iso2022jp_split_subject.eml", QStringLiteral("【警告】サーバ改ざん検知 web01"),
                    QStringLiteral("改ざんを検知しました。\r\n対象: /etc/passwd\r\n")},
        FixtureCase{"base64_padding_words.eml", QStringLiteral("監視レポート：ホスト web02 の変更"),
                    QStringLiteral("変更はありません。\r\n")},
        FixtureCase{"shiftjis_cp932.eml", QString::fromUtf16(u"障害\u2460\uFF5E\u3231\u2160"),
                    QString::fromUtf16(u"記号: \u2460\uFF5E\u3231\u2160\r\nＭＳ ゴシック\r\n")},
        FixtureCase{"eucjp_body.eml", QStringLiteral("日次報告"),
                    QStringLiteral("ファイルの整合性を確認しました。\r\nOK\r\n")},
        FixtureCase{"raw_sjis_header.eml", QStringLiteral("侵入検知 サーバ web04"),
                    QStringLiteral("本文もシフトJISです。\r\n")},
        FixtureCase{"raw_utf8_header.eml", QStringLiteral("侵入検知 サーバ web05 ✓"),
                    QStringLiteral("本文は UTF-8 です。\r\n")},
        FixtureCase{"no_charset_eucjp.eml", QStringLiteral("no charset"),
                    QStringLiteral("改ざんされたファイルはありません。\r\n")},
        FixtureCase{"no_charset_iso2022jp.eml", QStringLiteral("生ヘッダ"),
                    QStringLiteral("ジス漢字の本文\r\n")},
        FixtureCase{"multipart_attachment.eml", QStringLiteral("with attachment"),
                    QStringLiteral("本文です")},
        FixtureCase{"alternative_html_only.eml", QStringLiteral("html only"),
                    QStringLiteral("警告&注意\r\nホスト: web06\r\n変更ああ\r\na b\r\nc")},
        FixtureCase{"nul_bytes.eml", QString::fromUtf16(u"nul\uFFFDinside"),
                    QString::fromUtf16(u"before\uFFFDafter\r\n\uFFFD\r\n")},
        FixtureCase{"no_subject.eml", QString(), QStringLiteral("body\r\n")},
        FixtureCase{"folded_subject.eml",
                    QStringLiteral("Tripwire report\tfor host web03  (daily)"),
                    QStringLiteral("x\r\n")},
        FixtureCase{"not_mime.eml", QStringLiteral("cron output"),
                    QStringLiteral("line 1\r\nline 2\r\n")},
        FixtureCase{"forwarded_message.eml", QStringLiteral("Fwd: report"),
                    QStringLiteral("転送された報告")}),
    [](const auto& p) {
        std::string name = p.param.file;
        name = name.substr(0, name.find('.'));
        return name;
    });

TEST(ReadMailTest, brokenBase64_keepsWhatDecodes) {
    const auto texts = readMailFile(test::fixturePath("broken_base64.eml"), kSubject);
    ASSERT_TRUE(texts.has_value());
    EXPECT_EQ(texts->header, QStringLiteral("broken"));
    EXPECT_TRUE(texts->body.startsWith(QStringLiteral("Line one\r\n")))
        << texts->body.toStdString();
}

TEST(ReadMailTest, unreadablePaths_giveNothing) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString unreadable = dir.filePath(QStringLiteral("locked.eml"));
    QFile file(unreadable);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Subject: x\r\n\r\nbody\r\n");
    file.close();
    file.setPermissions(QFileDevice::Permissions());
    const bool permissionsHold = !QFile(unreadable).open(QIODevice::ReadOnly);  // not as root

    EXPECT_FALSE(readMailFile(test::fixturePath("empty.eml"), kSubject).has_value());
    EXPECT_FALSE(readMailFile(dir.filePath(QStringLiteral("missing.eml")), kSubject).has_value());
    EXPECT_FALSE(readMailFile(dir.path(), kSubject).has_value());
    EXPECT_FALSE(readMailFile(QString(), kSubject).has_value());
    if (permissionsHold) {
        EXPECT_FALSE(readMailFile(unreadable, kSubject).has_value());
    }
}

TEST(ReadMailTest, bytesThatAreNoMail_giveNothing) {
    for (const QByteArray& raw :
         {QByteArray(), QByteArray("just a line of text\r\nand more"),
          QByteArray("  Subject: indented\r\n\r\nbody"), QByteArray("\0\0\0\0", 4)}) {
        EXPECT_FALSE(readMailBytes(raw, kSubject).has_value()) << raw.toStdString();
    }
}

TEST(ReadMailTest, otherHeaderName_isReturnedInstead) {
    const auto texts = readMailBytes("From: =?UTF-8?B?4pGg?= <a@b>\r\nSubject: s\r\n\r\nb",
                                     QStringLiteral("FROM"));
    ASSERT_TRUE(texts.has_value());
    EXPECT_EQ(texts->header, QString::fromUtf16(u"\u2460 <a@b>"));
}

// A text part that names a file counts as an attachment inside a multipart, but a mail whose
// only part it is still has that part as its body.
TEST(ReadMailTest, attachmentRules_dependOnWhetherThereIsAnythingElse) {
    const QByteArray single =
        "Subject: s\r\nContent-Type: text/plain; name=report.txt\r\n"
        "Content-Disposition: attachment\r\n\r\nreport\r\n";
    const QByteArray onlyAttachments =
        "Subject: s\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
        "Content-Disposition: attachment\r\n\r\nattached\r\n--b--\r\n";
    const QByteArray htmlAfterAttachment =
        "Subject: s\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
        "Content-Type: text/plain; name=a.txt\r\n\r\nattached\r\n--b\r\n"
        "Content-Type: text/html\r\n\r\n<p>shown</p>\r\n--b--\r\n";
    const QByteArray plainWinsOverEarlierHtml =
        "Subject: s\r\nContent-Type: multipart/alternative; boundary=b\r\n\r\n--b\r\n"
        "Content-Type: text/html\r\n\r\n<p>html</p>\r\n--b\r\n"
        "Content-Type: text/plain\r\n\r\nplain\r\n--b--\r\n";
    const std::vector<std::pair<QByteArray, QString>> cases = {
        {single, QStringLiteral("report\r\n")},
        {onlyAttachments, QString()},
        {htmlAfterAttachment, QStringLiteral("shown")},
        {plainWinsOverEarlierHtml, QStringLiteral("plain")},
    };
    for (const auto& [raw, body] : cases) {
        const auto texts = readMailBytes(raw, kSubject);
        ASSERT_TRUE(texts.has_value()) << raw.toStdString();
        EXPECT_EQ(texts->body, body) << raw.toStdString();
    }
}

TEST(ReadMailTest, deepNesting_isBoundedAndDoesNotCrash) {
    for (const int depth : {10, 5000}) {
        QByteArray raw = "Subject: deep\r\nContent-Type: multipart/mixed; boundary=b0\r\n\r\n";
        for (int i = 0; i < depth; ++i) {
            raw += "--b" + QByteArray::number(i) + "\r\nContent-Type: multipart/mixed; boundary=b" +
                   QByteArray::number(i + 1) + "\r\n\r\n";
        }
        raw += "--b" + QByteArray::number(depth) + "\r\nContent-Type: text/plain\r\n\r\ninner\r\n";
        const auto texts = readMailBytes(raw, kSubject);
        ASSERT_TRUE(texts.has_value());
        EXPECT_EQ(texts->header, QStringLiteral("deep"));
        // Shallow nesting is read; beyond the bound the text is simply not found.
        EXPECT_EQ(texts->body, depth == 10 ? QStringLiteral("inner\r\n") : QString());
    }
}

TEST(ReadMailTest, concurrentReaders_agreeWithSingleReader) {
    const QStringList files = test::fixtureMails();
    std::vector<std::optional<MailTexts>> expected;
    for (const QString& f : files) {
        expected.push_back(readMailFile(f, kSubject));
    }
    std::vector<int> mismatches(4, 0);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < mismatches.size(); ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 5; ++round) {
                for (qsizetype i = 0; i < files.size(); ++i) {
                    const auto got = readMailFile(files[i], kSubject);
                    const auto& want = expected[size_t(i)];
                    if (got.has_value() != want.has_value() ||
                        (got && (got->header != want->header || got->body != want->body))) {
                        ++mismatches[t];
                    }
                }
            }
        });
    }
    for (auto& th : threads) {
        th.join();
    }
    for (const int m : mismatches) {
        EXPECT_EQ(m, 0);
    }
}

}  // namespace
}  // namespace kervo

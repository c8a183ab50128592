#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <tuple>

#include "MimeFixtures.h"
#include "mail/mime/MimeReader.h"
#include "mail/mime/ReadMailCommand.h"

namespace kervo {
namespace {

const QString kSubject = QStringLiteral("subject:");

// The texts are the originals the fixtures were encoded from (see data/make_fixtures.py).
TEST(ReadMailTest, savedMails_giveSubjectAndBody) {
    const std::tuple<const char*, const char16_t*, const char16_t*> cases[] = {
        {"iso2022jp_split_subject.eml", u"【警告】サーバ改ざん検知 web01",
         u"改ざんを検知しました。\r\n対象: /etc/passwd\r\n"},
        {"base64_padding_words.eml", u"監視レポート：ホスト web02 の変更",
         u"変更はありません。\r\n"},
        {"shiftjis_cp932.eml", u"障害\u2460\uFF5E\u3231\u2160",
         u"記号: \u2460\uFF5E\u3231\u2160\r\nＭＳ ゴシック\r\n"},
        {"eucjp_body.eml", u"日次報告", u"ファイルの整合性を確認しました。\r\nOK\r\n"},
        {"raw_sjis_header.eml", u"侵入検知 サーバ web04", u"本文もシフトJISです。\r\n"},
        {"no_charset_eucjp.eml", u"no charset", u"改ざんされたファイルはありません。\r\n"},
        {"no_charset_iso2022jp.eml", u"生ヘッダ", u"ジス漢字の本文\r\n"},
        {"multipart_attachment.eml", u"with attachment", u"本文です"},
        {"alternative_html_only.eml", u"html only",
         u"警告&注意\r\nホスト: web06\r\n変更ああ\r\na b\r\nc"},
        {"nul_bytes.eml", u"nul\uFFFDinside", u"before\uFFFDafter\r\n\uFFFD\r\n"},
        {"no_subject.eml", u"", u"body\r\n"},
        {"forwarded_message.eml", u"Fwd: report", u"転送された報告"},
    };
    for (const auto& [file, subject, body] : cases) {
        SCOPED_TRACE(file);
        const auto texts = readMailFile(test::fixturePath(file), kSubject);
        ASSERT_TRUE(texts.has_value());
        EXPECT_EQ(texts->header, QString::fromUtf16(subject));
        EXPECT_EQ(texts->body, QString::fromUtf16(body));
    }
}

TEST(ReadMailTest, brokenBase64_keepsWhatDecodes) {
    const auto texts = readMailFile(test::fixturePath("broken_base64.eml"), kSubject);
    ASSERT_TRUE(texts.has_value());
    EXPECT_EQ(texts->header, QStringLiteral("broken"));
    EXPECT_TRUE(texts->body.startsWith(QStringLiteral("Line one\r\n")))
        << texts->body.toStdString();
}

TEST(ReadMailTest, missingFileOrNoMail_givesNothing) {
    QTemporaryDir dir;
    for (const QString& path :
         {test::fixturePath("empty.eml"), dir.filePath(QStringLiteral("missing.eml")), dir.path(),
          QString()}) {
        EXPECT_FALSE(readMailFile(path, kSubject).has_value()) << path.toStdString();
    }
    for (const QByteArray& raw :
         {QByteArray("just a line of text\r\nand more"),
          QByteArray("  Subject: indented\r\n\r\nbody"), QByteArray("\0\0\0\0", 4)}) {
        EXPECT_FALSE(readMailBytes(raw, kSubject).has_value()) << raw.toStdString();
    }
}

// A text part that names a file counts as an attachment inside a multipart, but a mail whose
// only part it is still has that part as its body.
TEST(ReadMailTest, attachmentRules_dependOnWhetherThereIsAnythingElse) {
    const QByteArray multipart = "Subject: s\r\nContent-Type: multipart/mixed; boundary=b\r\n\r\n";
    const std::pair<QByteArray, QString> cases[] = {
        {"Subject: s\r\nContent-Type: text/plain; name=report.txt\r\n"
         "Content-Disposition: attachment\r\n\r\nreport\r\n",
         QStringLiteral("report\r\n")},
        {multipart + "--b\r\nContent-Disposition: attachment\r\n\r\nattached\r\n--b--\r\n",
         QString()},
        {multipart + "--b\r\nContent-Type: text/plain; name=a.txt\r\n\r\nattached\r\n--b\r\n"
                     "Content-Type: text/html\r\n\r\n<p>shown</p>\r\n--b--\r\n",
         QStringLiteral("shown")},
        {multipart + "--b\r\nContent-Type: text/html\r\n\r\n<p>html</p>\r\n--b\r\n"
                     "Content-Type: text/plain\r\n\r\nplain\r\n--b--\r\n",
         QStringLiteral("plain")},
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
        // Shallow nesting is read; beyond the bound the text is simply not found.
        EXPECT_EQ(texts->body, depth == 10 ? QStringLiteral("inner\r\n") : QString());
    }
}

TEST(ReadMailCommandTest, files_showSubjectAndBodySafelyAndNameTheUnreadable) {
    QTemporaryDir dir;
    const QString missing = dir.filePath(QStringLiteral("gone.eml"));
    const QString controls = dir.filePath(QStringLiteral("ctl.eml"));
    QFile file(controls);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    // The encoded word hides ESC [2J ESC [1H and a line break that would fake a separator.
    file.write("Subject: bell\x07 and =?UTF-8?B?G1syShtbMUgKPT09?=\r\n\r\nrow\x1b[31m\r\n");
    file.close();
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    EXPECT_EQ(runReadMailCommand({missing, controls}, outStream, errStream), 1);
    EXPECT_TRUE(err.contains(missing));
    EXPECT_FALSE(out.contains(missing));
    EXPECT_TRUE(out.contains(controls));
    EXPECT_FALSE(out.contains(QChar(0x1b)) || out.contains(QChar(0x07)));
    EXPECT_TRUE(
        out.contains(QString::fromUtf16(u"Subject: bell\u2407 and \u241b[2J\u241b[1H\u240a===\n")));
    EXPECT_TRUE(out.contains(QString::fromUtf16(u"row\u241b[31m\r\n")));
}

}  // namespace
}  // namespace kervo

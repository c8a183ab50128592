#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>
#include <QTextStream>
#include <tuple>

#include "MimeFixtures.h"
#include "mail/mime/MimeReader.h"
#include "mail/mime/ReadMailTool.h"

namespace kervo {
namespace {

using namespace Qt::StringLiterals;

// The texts are the originals the fixtures were encoded from (see data/make_fixtures.py).
TEST(MailReaderTest, savedMails_giveSubjectAndBody) {
    const std::tuple<const char*, const char16_t*, const char16_t*> cases[] = {
        {"iso2022jp_split_subject.eml", u"【警告】サーバ改ざん検知 web01",
         u"改ざんを検知しました。\r\n対象: /etc/passwd\r\n"},
        {"base64_padding_words.eml", u"監視レポート：ホスト web02 の変更",
         u"変更はありません。\r\n"},
        {"shiftjis_cp932.eml", u"障害\u2460\uFF5E\u3231\u2160",
         u"記号: \u2460\uFF5E\u3231\u2160\r\nＭＳ ゴシック\r\n"},
        {"raw_sjis_header.eml", u"侵入検知 サーバ web04", u"本文もシフトJISです。\r\n"},
        {"no_charset_eucjp.eml", u"no charset", u"改ざんされたファイルはありません。\r\n"},
        {"multipart_attachment.eml", u"with attachment", u"本文です"},
        {"alternative_html_only.eml", u"html only",
         u"警告&注意\r\nホスト: web06\r\n変更ああ\r\na b\r\nc"},
        {"nul_bytes.eml", u"nul\uFFFDinside", u"before\uFFFDafter\r\n\uFFFD\r\n"},
        {"forwarded_message.eml", u"Fwd: report", u"転送された報告"},
    };
    for (const auto& [file, subject, body] : cases) {
        SCOPED_TRACE(file);
        const Result<MailTexts> read = readMailFile(test::fixturePath(file));
        ASSERT_TRUE(read.ok()) << read.error().message.toStdString();
        EXPECT_EQ(read.value().subject, QString::fromUtf16(subject));
        EXPECT_EQ(read.value().body, QString::fromUtf16(body));
    }
}

template <qsizetype N>
QByteArray bytes(const char (&text)[N]) {
    return QByteArray(text, N - 1);  // NUL bytes inside included
}

QString writeFile(const QTemporaryDir& dir, const QString& name, const QByteArray& raw) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(raw) != raw.size()) {
        ADD_FAILURE() << "cannot write " << path.toStdString();
    }
    return path;
}

// Mails the MIME parser makes nothing of, or would read with lines dropped: the rules still see
// the subject found in the raw header lines and the text after them, from a file as from bytes.
TEST(MailReaderTest, unparseableMails_stillGiveTheirTexts) {
    const struct {
        const char* name;
        QByteArray raw;
        const char16_t* subject;
        const char16_t* body;
    } cases[] = {
        {"emptyFile", bytes(""), u"", u""},
        {"textWithoutHeader", bytes("web01 disk full\nsee /etc/passwd\n"), u"",
         u"web01 disk full\r\nsee /etc/passwd\r\n"},
        {"indentedFirstLine", bytes("  Subject: indented\r\n\r\nbody"), u"",
         u"  Subject: indented\r\n\r\nbody"},
        {"headerLineWithoutColon",
         bytes("Subject: web01 changed\r\n/etc/passwd modified\r\n\r\nok\r\n"), u"web01 changed",
         u"/etc/passwd modified\r\n\r\nok\r\n"},
        {"noEmptyLineAfterHeader", bytes("From x\nSubject: disk\nweb01 disk full\n"), u"disk",
         u"web01 disk full\r\n"},
        {"nulBytesOnly", bytes("\0\0\0\0"), u"", u"\uFFFD\uFFFD\uFFFD\uFFFD"},
        {"nulInHeaderName", bytes("Subject: x\r\nX\0Y: z\r\n\r\nbody"), u"x",
         u"X\uFFFDY: z\r\n\r\nbody"},
        {"unlabelledShiftJisWithoutHeader", bytes("\x89\xfc\x82\xb4\x82\xf1\x8c\x9f\x92m web01\n"),
         u"", u"改ざん検知 web01\r\n"},
    };
    QTemporaryDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Result<MailTexts> read =
            readMailFile(writeFile(dir, QString::fromUtf8(c.name), c.raw));
        ASSERT_TRUE(read.ok()) << read.error().message.toStdString();
        EXPECT_EQ(read.value().subject, QString::fromUtf16(c.subject));
        EXPECT_EQ(read.value().body, QString::fromUtf16(c.body));
        const MailTexts fromBytes = readMailBytes(c.raw);
        EXPECT_EQ(fromBytes.subject, read.value().subject);
        EXPECT_EQ(fromBytes.body, read.value().body);
    }
}

// Where two texts first differ, for a readable failure on texts of megabytes.
QString firstDifference(const QString& got, const QString& want) {
    qsizetype at = 0;
    while (at < got.size() && at < want.size() && got.at(at) == want.at(at)) {
        ++at;
    }
    return u"sizes %1 and %2, first difference at %3: \"%4\" against \"%5\""_s.arg(got.size())
        .arg(want.size())
        .arg(at)
        .arg(got.mid(at, 40), want.mid(at, 40));
}

// A long mail is read whole to its end, across every block it is read in: a rule's text in its
// last line still raises the alarm, and a flood of header lines neither hides the subject nor
// the structure fields after it.
TEST(MailReaderTest, largeMails_keepTheirTextsToTheEnd) {
    QByteArray lines;
    for (int i = 0; lines.size() < 3 * 1024 * 1024; ++i) {
        lines += "Modified: /usr/lib/file" + QByteArray::number(i) + ".so  size 1234  ok\n";
    }
    QByteArray flood;
    for (int i = 0; flood.size() < 1024 * 1024; ++i) {
        flood += "X-Trace-" + QByteArray::number(i) + ": hop\n";
    }
    // Soft line breaks and encoded '=' all through, so that blocks end inside both.
    QByteArray quoted;
    QByteArray unquoted;
    // Line ends of both kinds, a bare one first, and a lone CR that stays what it is.
    QByteArray mixed = "\n";
    for (int i = 0; quoted.size() < 3 * 1024 * 1024; ++i) {
        const QByteArray n = QByteArray::number(i);
        quoted += "sum=3D" + n + " of /usr/lib/file" + n + ".so=\n  ok\n";
        unquoted += "sum=" + n + " of /usr/lib/file" + n + ".so  ok\n";
        mixed += "line " + n + (i % 3 == 0 ? "\r\n" : i % 3 == 1 ? "\n" : "\rcr\n");
    }
    const QByteArray tail = "Modified object name:  /etc/passwd\n";
    const QByteArray utf8Tail = "改ざん /etc/passwd\n";
    const struct {
        const char* name;
        QByteArray raw;
        const char16_t* subject;
        QByteArray body;  // line ends still bare
    } cases[] = {
        {"plainBodyMatchInLastLine",
         "Subject: big\nContent-Type: text/plain; charset=us-ascii\n\n" + lines + tail, u"big",
         lines + tail},
        {"base64BodyMatchInLastLine",
         "Subject: big\nContent-Type: text/plain; charset=utf-8\n"
         "Content-Transfer-Encoding: base64\n\n" +
             (lines + utf8Tail).toBase64() + "\n",
         u"big", lines + utf8Tail},
        {"quotedPrintableBodyMatchInLastLine",
         "Subject: qp\nContent-Type: text/plain; charset=us-ascii\n"
         "Content-Transfer-Encoding: quoted-printable\n\n" +
             quoted + tail,
         u"qp", unquoted + tail},
        {"mixedLineEndsBody", "Subject: ends\n\n" + mixed + tail, u"ends", mixed + tail},
        {"headerFloodThenSubjectAndStructure",
         flood +
             "Subject: flood\nContent-Type: text/plain; charset=utf-8\n"
             "Content-Transfer-Encoding: base64\n\n" +
             utf8Tail.toBase64() + "\n",
         u"flood", utf8Tail},
    };
    QTemporaryDir dir;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Result<MailTexts> read =
            readMailFile(writeFile(dir, QString::fromUtf8(c.name), c.raw));
        ASSERT_TRUE(read.ok()) << read.error().message.toStdString();
        const MailTexts& texts = read.value();
        EXPECT_EQ(texts.subject, QString::fromUtf16(c.subject));
        QString want = QString::fromUtf8(c.body);
        want.replace(u"\r\n"_s, u"\n"_s);
        want.replace(u"\n"_s, u"\r\n"_s);
        EXPECT_TRUE(texts.body == want) << firstDifference(texts.body, want).toStdString();
        const MailTexts fromBytes = readMailBytes(c.raw);
        EXPECT_TRUE(fromBytes.body == want) << firstDifference(fromBytes.body, want).toStdString();
    }
}

TEST(ReadMailToolTest, files_showSubjectAndBodySafelyAndNameTheUnreadable) {
    QTemporaryDir dir;
    const QString missing = dir.filePath(u"gone.eml"_s);
    const QString controls = dir.filePath(u"ctl.eml"_s);
    QFile file(controls);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    // The encoded word hides ESC [2J ESC [1H and a line break that would fake a separator.
    file.write("Subject: bell\x07 and =?UTF-8?B?G1syShtbMUgKPT09?=\r\n\r\nrow\x1b[31m\r\n");
    file.close();
    QString out;
    QString err;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    EXPECT_EQ(runReadMailTool({missing, controls}, outStream, errStream), 1);
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

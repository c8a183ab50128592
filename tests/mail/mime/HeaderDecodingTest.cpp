#include <gtest/gtest.h>

#include "MimeFixtures.h"
#include "mail/mime/HeaderDecoding.h"
#include "mail/mime/MimeReader.h"

namespace kervo {
namespace {

struct HeaderCase {
    const char* name;
    QByteArray raw;
    QString expected;
};

class DecodeHeaderValueTest : public ::testing::TestWithParam<HeaderCase> {};

TEST_P(DecodeHeaderValueTest, rawValue_decodesToExpectedText) {
    EXPECT_EQ(decodeHeaderValue(GetParam().raw), GetParam().expected);
}

// 改ざん in ISO-2022-JP is ESC $ B 2~ $6 $s ESC ( B; the cases cut it in various places.
INSTANTIATE_TEST_SUITE_P(
    Words, DecodeHeaderValueTest,
    ::testing::Values(
        HeaderCase{"PlainAscii", " Daily report ", QStringLiteral("Daily report ")},
        HeaderCase{"TrailingLineBreakTrimmed", " report\r\n", QStringLiteral("report")},
        // ESC $ B 2 | ~ $ 6 $ s ESC ( B: the cut falls between the two bytes of 改
        HeaderCase{"Iso2022JpSplitInsideCharacter",
                   "=?ISO-2022-JP?B?GyRCMg==?= =?ISO-2022-JP?B?fiQ2JHMbKEI=?=",
                   QString::fromUtf16(u"\u6539\u3056\u3093")},
        // the escape sequence itself cut in two
        HeaderCase{"Iso2022JpSplitInsideEscape",
                   "=?iso-2022-jp?B?GyQ=?=\r\n =?ISO-2022-JP?b?QjJ+JDYkcxsoQg==?=",
                   QString::fromUtf16(u"\u6539\u3056\u3093")},
        // "ab" "cd" "ef": every word padded, every word kept
        HeaderCase{"PaddedWordsFollowedByMore",
                   "=?UTF-8?B?YWI=?= =?UTF-8?B?Y2Q=?=\t=?UTF-8?B?ZWY=?=", QStringLiteral("abcdef")},
        // 監 = E7 9B A3 split after its first byte, padding in the first word
        HeaderCase{"Utf8CharacterSplitAcrossPaddedWords",
                   "=?utf-8?B?5w==?= =?UTF-8?B?m6M=?=", QString::fromUtf16(u"\u76e3")},
        HeaderCase{"QEncodingWithUnderscore",
                   "=?ISO-8859-1?Q?caf=E9_ok?=", QString::fromUtf16(u"caf\u00e9 ok")},
        HeaderCase{"LowerCaseQAndLanguage", "=?utf-8*ja?q?=E2=91=A0?=", QString(QChar(0x2460))},
        HeaderCase{"QLoneEqualsKept", "=?us-ascii?Q?a=3Db=ZZ?=", QStringLiteral("a=b=ZZ")},
        HeaderCase{"SpaceBetweenWordAndTextKept", "Re: =?UTF-8?B?YWI=?= end",
                   QStringLiteral("Re: ab end")},
        HeaderCase{"WordsOfDifferentCharsetsJoinedWithoutSpace",
                   "=?ISO-8859-1?Q?=E9?= =?UTF-8?B?4pGg?=", QString::fromUtf16(u"\u00e9\u2460")},
        HeaderCase{"WordWithoutSurroundingSpace", "[ALERT]=?UTF-8?B?4pGg?=web",
                   QString::fromUtf16(u"[ALERT]\u2460web")},
        HeaderCase{"MalformedWordsLeftAsWritten",
                   "=?UTF-8?X?abc?= =?UTF-8?B?a!b?= =?UTF-8?B?abc =?utf-8?B?YQ==",
                   QStringLiteral("=?UTF-8?X?abc?= =?UTF-8?B?a!b?= =?UTF-8?B?abc =?utf-8?B?YQ==")},
        HeaderCase{"UnknownCharsetGuessed", "=?x-mystery?B?gqA=?=", QString(QChar(0x3042))},
        HeaderCase{"RawShiftJis", "\x83\x54\x81\x5b\x83\x6f web04",
                   QString::fromUtf16(u"\u30b5\u30fc\u30d0 web04")},
        HeaderCase{"RawUtf8", "\xe2\x9c\x93 ok", QString::fromUtf16(u"\u2713 ok")},
        HeaderCase{"RawIso2022Jp", "\x1b$B$3$s\x1b(B", QString::fromUtf16(u"\u3053\u3093")},
        HeaderCase{"RawShiftJisBesideWord", "\x83\x54\x81\x5b\x83\x6f =?UTF-8?B?4pGg?=",
                   QString::fromUtf16(u"\u30b5\u30fc\u30d0 \u2460")},
        HeaderCase{"FoldingKeepsWhitespace", "Tripwire\r\n\treport\r\n  now",
                   QStringLiteral("Tripwire\treport  now")},
        HeaderCase{"BareLfFolding", "a\n b", QStringLiteral("a b")},
        HeaderCase{"NulReplaced", QByteArray("a\0b", 3), QString::fromUtf16(u"a\uFFFDb")}),
    [](const auto& p) { return std::string(p.param.name); });

struct FindCase {
    const char* name;
    QByteArray message;
    QString header;
    std::optional<QByteArray> expected;
};

class FindRawHeaderTest : public ::testing::TestWithParam<FindCase> {};

TEST_P(FindRawHeaderTest, headerBlock_givesRawValueOfFirstMatch) {
    EXPECT_EQ(mime::findRawHeader(GetParam().message, GetParam().header), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Blocks, FindRawHeaderTest,
    ::testing::Values(
        FindCase{"NameAsTheAnalysisAsks", "From: a\r\nSUBJECT: x\r\n\r\nb",
                 QStringLiteral("subject:"), QByteArray(" x")},
        FindCase{"NameWithoutColon", "Subject: x\r\n\r\n", QStringLiteral("Subject"),
                 QByteArray(" x")},
        FindCase{"FirstOfTwo", "Subject: one\nSubject: two\n\n", QStringLiteral("subject:"),
                 QByteArray(" one")},
        FindCase{"ContinuationLines", "Subject: a\r\n b\r\n\tc\r\nTo: x\r\n\r\n",
                 QStringLiteral("subject:"), QByteArray(" a\r\n b\r\n\tc")},
        FindCase{"SimilarNameNotTaken", "X-Subject: no\r\nSubjects: no\r\n\r\n",
                 QStringLiteral("subject:"), std::nullopt},
        FindCase{"NotAfterHeaderBlock", "From: a\r\n\r\nSubject: body\r\n",
                 QStringLiteral("subject:"), std::nullopt},
        FindCase{"MboxFromLineSkipped", "From a@b Mon Jan  1 00:00:00 2024\nSubject: x\n\n",
                 QStringLiteral("subject:"), QByteArray(" x")},
        FindCase{"SpaceBeforeColon", "Subject : x\r\n\r\n", QStringLiteral("subject:"),
                 QByteArray(" x")},
        FindCase{"NoBlankLineAtEnd", "Subject: x", QStringLiteral("subject:"), QByteArray(" x")},
        FindCase{"EmptyName", "Subject: x\r\n\r\n", QStringLiteral(":"), std::nullopt}),
    [](const auto& p) { return std::string(p.param.name); });

}  // namespace
}  // namespace kervo

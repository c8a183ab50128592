#include <gtest/gtest.h>

#include "MimeFixtures.h"
#include "mail/mime/CharsetDecoding.h"
#include "mail/mime/MimeReader.h"

namespace kervo {
namespace {

QByteArray bytes(const char* data, qsizetype size) {
    return QByteArray(data, size);
}
template <qsizetype N>
QByteArray bytes(const char (&data)[N]) {
    return QByteArray(data, N - 1);
}

// CP932 codes of the characters the strict Shift_JIS table lacks or maps elsewhere:
// ① 0x8740, ～ 0x8160, ㈱ 0x878A, Ⅰ 0x8754, ∥ 0x8161, － 0x817C, ￢ 0x81CA.
const QByteArray kCp932Specials = bytes("\x87\x40\x81\x60\x87\x8a\x87\x54\x81\x61\x81\x7c\x81\xca");
const QString kSpecials = QString::fromUtf16(u"\u2460\uFF5E\u3231\u2160\u2225\uFF0D\uFFE2");

struct LabelCase {
    const char* name;
    QByteArray label;
    QByteArray input;
    QString expected;
};

class DecodeCharsetTest : public ::testing::TestWithParam<LabelCase> {};

TEST_P(DecodeCharsetTest, labelledBytes_decodeToExpectedText) {
    const LabelCase& c = GetParam();
    const auto text = decodeCharset(c.input, c.label);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Labels, DecodeCharsetTest,
    ::testing::Values(
        LabelCase{"ShiftJis", "Shift_JIS", kCp932Specials, kSpecials},
        LabelCase{"Sjis", "SJIS", kCp932Specials, kSpecials},
        LabelCase{"XSjis", "x-sjis", kCp932Specials, kSpecials},
        LabelCase{"MsKanji", "MS_Kanji", kCp932Specials, kSpecials},
        LabelCase{"Windows31J", "Windows-31J", kCp932Specials, kSpecials},
        LabelCase{"Cp932Quoted", "\"cp932\"", kCp932Specials, kSpecials},
        // The IBM-derived table swaps these three control codes; the text must not.
        LabelCase{"Cp932Controls", "shift_jis",
                  bytes("a\x1a"
                        "b\x1c"
                        "c\x7f"),
                  QString::fromUtf16(u"a\u001ab\u001cc\u007f")},
        LabelCase{"Cp932HalfWidthKana", "shift_jis", bytes("\xb6\xde\xb2"),
                  QString::fromUtf16(u"\uFF76\uFF9E\uFF72")},
        LabelCase{"Cp932InvalidBytes", "shift_jis",
                  bytes("\x80"
                        "a\xfd\x82"),
                  QString::fromUtf16(u"\uFFFDa\uFFFD\uFFFD")},
        LabelCase{"Cp932UnassignedPair", "shift_jis", bytes("\x85\x40"), QString(QChar(0xfffd))},
        // あ, ① (NEC row 13), ～ as the Windows table has it, half-width ｱ, JIS X 0212 丂
        LabelCase{"EucJp", "EUC-JP", bytes("\xa4\xa2\xad\xa1\xa1\xc1\x8e\xb1\x8f\xb0\xa1"),
                  QString::fromUtf16(u"\u3042\u2460\uFF5E\uFF71\u4E02")},
        LabelCase{"EucJpTruncated", "euc-jp", bytes("\xa4\xa2\xa4"),
                  QString::fromUtf16(u"\u3042\uFFFD")},
        // こん, JIS X 0201 kana ｱ, then ESC ( J read as ASCII so that \ and ~ stay themselves
        LabelCase{"Iso2022Jp", "ISO-2022-JP",
                  bytes("\x1b$B$3$s\x1b(B \x1b(I1\x1b(B \x1b(J\\~\x1b(B"),
                  QString::fromUtf16(u"\u3053\u3093 \uFF71 \\~")},
        LabelCase{"Iso2022JpLanguageSuffix", "iso-2022-jp*ja", bytes("\x1b$B$3\x1b(B"),
                  QString::fromUtf16(u"\u3053")},
        LabelCase{"Utf8", "utf8", bytes("\xe2\x91\xa0"), QString(QChar(0x2460))},
        LabelCase{"AsciiWithHighByte", "us-ascii", bytes("a\xe9"), QString::fromUtf16(u"a\uFFFD")},
        LabelCase{"Latin1ByConverter", "ISO-8859-1", bytes("caf\xe9"),
                  QString::fromUtf16(u"caf\u00e9")},
        LabelCase{"NulBecomesReplacement", "utf-8", bytes("a\0b", 3),
                  QString::fromUtf16(u"a\uFFFDb")}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(DecodeCharsetTest, unknownOrEmptyLabel_givesNothing) {
    for (const QByteArray& label : {QByteArray("x-no-such-charset"), QByteArray(""),
                                    QByteArray("  "), QByteArray("bad\0name", 8)}) {
        EXPECT_FALSE(decodeCharset("abc", label).has_value()) << label.toStdString();
    }
}

struct GuessCase {
    const char* name;
    QByteArray input;
    QString expected;
};

class DecodeUnlabelledTest : public ::testing::TestWithParam<GuessCase> {};

TEST_P(DecodeUnlabelledTest, unlabelledBytes_areRecognised) {
    EXPECT_EQ(decodeUnlabelled(GetParam().input), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Guesses, DecodeUnlabelledTest,
    ::testing::Values(
        GuessCase{"PlainAscii", bytes("report ok\r\n"), QStringLiteral("report ok\r\n")},
        GuessCase{"Iso2022Jp", bytes("\x1b$B2~$6$s\x1b(B web01"),
                  QString::fromUtf16(u"\u6539\u3056\u3093 web01")},
        GuessCase{"Utf8", bytes("\xe6\x94\xb9\xe3\x81\x96\xe3\x82\x93"),
                  QString::fromUtf16(u"\u6539\u3056\u3093")},
        // 改ざんを検知しました。 in EUC-JP: every byte pair is also a valid CP932 sequence
        GuessCase{"EucJpProse",
                  bytes("\xb2\xfe\xa4\xb6\xa4\xf3\xa4\xf2\xb8\xa1\xc3\xce\xa4\xb7\xa4\xde\xa4"
                        "\xb7\xa4\xbf\xa1\xa3"),
                  QString::fromUtf16(u"\u6539\u3056\u3093\u3092\u691C\u77E5\u3057\u307E\u3057"
                                     u"\u305F\u3002")},
        // 障害発生: kanji only, still more like EUC-JP than like half-width kana
        GuessCase{"EucJpKanjiOnly", bytes("\xbe\xe3\xb3\xb2\xc8\xaf\xc0\xb8"),
                  QString::fromUtf16(u"\u969C\u5BB3\u767A\u751F")},
        GuessCase{"Cp932Prose", bytes("\x89\xfc\x82\xb4\x82\xf1\x82\xf0\x8c\x9f\x92\x6d"),
                  QString::fromUtf16(u"\u6539\u3056\u3093\u3092\u691C\u77E5")},
        GuessCase{"Cp932Specials", kCp932Specials, kSpecials},
        GuessCase{"Cp932WithHalfWidthKana", bytes("\xbb\xb0\xca\xde \x83\x54\x81\x5b\x83\x6f"),
                  QString::fromUtf16(u"\uFF7B\uFF70\uFF8A\uFF9E \u30B5\u30FC\u30D0")},
        // Neither fits cleanly: CP932 is the fallback
        GuessCase{"BrokenFallsBackToCp932", bytes("\x82\xa0\xff"),
                  QString::fromUtf16(u"\u3042\uFFFD")},
        GuessCase{"NulInAscii", bytes("a\0b", 3), QString::fromUtf16(u"a\uFFFDb")}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(DecodeTrustingTest, labelThatTheBytesBreak_yieldsToCleanGuess) {
    // Machine-sent mail often says us-ascii or iso-2022-jp over Shift_JIS or UTF-8 bytes.
    const QByteArray sjis = bytes("\x89\xfc\x82\xb4\x82\xf1");
    const QString expected = QString::fromUtf16(u"\u6539\u3056\u3093");
    EXPECT_EQ(mime::decodeTrusting(sjis, "us-ascii"), expected);
    EXPECT_EQ(mime::decodeTrusting(sjis, "ISO-2022-JP"), expected);
    EXPECT_EQ(mime::decodeTrusting(sjis, "x-unknown"), expected);
    EXPECT_EQ(mime::decodeTrusting(sjis, ""), expected);
}

TEST(DecodeTrustingTest, labelThatFits_winsOverGuess) {
    // Valid UTF-8 would be guessed as UTF-8, but the label says Latin-1.
    EXPECT_EQ(mime::decodeTrusting(bytes("\xc3\xa9"), "iso-8859-1"),
              QString::fromUtf16(u"\u00c3\u00a9"));
}

TEST(DecodeTrustingTest, labelAndGuessBothBroken_keepLabelledText) {
    EXPECT_EQ(mime::decodeTrusting(bytes("\x82\xa0\xff"), "shift_jis"),
              QString::fromUtf16(u"\u3042\uFFFD"));
}

}  // namespace
}  // namespace kervo

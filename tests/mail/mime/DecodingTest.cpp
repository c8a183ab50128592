#include <gtest/gtest.h>

#include "MimeFixtures.h"
#include "mail/mime/CharsetDecoding.h"
#include "mail/mime/HeaderDecoding.h"
#include "mail/mime/HtmlText.h"
#include "mail/mime/MimeReader.h"

namespace kervo {
namespace {

QString u16(const char16_t* text) {
    return QString::fromUtf16(text);
}

// CP932 codes of the characters the strict Shift_JIS table lacks or maps elsewhere:
// ① 0x8740, ～ 0x8160, ㈱ 0x878A, Ⅰ 0x8754, ∥ 0x8161, － 0x817C, ￢ 0x81CA.
const QByteArray kCp932Specials("\x87\x40\x81\x60\x87\x8a\x87\x54\x81\x61\x81\x7c\x81\xca");
const char16_t kSpecials[] = u"\u2460\uFF5E\u3231\u2160\u2225\uFF0D\uFFE2";

struct DecodeCase {
    QByteArray bytes;
    QByteArray label;
    const char16_t* text;
};

TEST(DecodeCharsetTest, labelledBytes_decodeToExpectedText) {
    const DecodeCase cases[] = {
        // The IBM-derived table swaps these three control codes; the text must not.
        {"a\032b\034c\177", "shift_jis", u"a\u001ab\u001cc\u007f"},
        {"\xb6\xde\xb2", "shift_jis", u"\uFF76\uFF9E\uFF72"},
        // a lone high byte, an unassigned pair, a byte no code uses, a cut-off lead byte
        {"\200a\x85\x40\xfd\x82", "shift_jis", u"\uFFFDa\uFFFD\uFFFD\uFFFD"},
        // あ, ① (NEC row 13), ～ as the Windows table has it, half-width ｱ, JIS X 0212 丂, cut off
        {"\xa4\xa2\xad\xa1\xa1\xc1\x8e\xb1\x8f\xb0\xa1\xa4", "EUC-JP",
         u"\u3042\u2460\uFF5E\uFF71\u4E02\uFFFD"},
        // こん, JIS X 0201 kana ｱ, then ESC ( J read as ASCII so that \ and ~ stay themselves
        {"\x1b$B$3$s\x1b(B \x1b(I1\x1b(B \x1b(J\\~\x1b(B", "iso-2022-jp*ja",
         u"\u3053\u3093 \uFF71 \\~"},
        {QByteArray("a\0b", 3), "utf-8", u"a\uFFFDb"},
    };
    for (const DecodeCase& c : cases) {
        EXPECT_EQ(decodeCharset(c.bytes, c.label), u16(c.text)) << c.bytes.toStdString();
    }
    for (const char* label :
         {"Shift_JIS", "SJIS", "x-sjis", "MS_Kanji", "Windows-31J", "\"cp932\""}) {
        EXPECT_EQ(decodeCharset(kCp932Specials, label), u16(kSpecials)) << label;
    }
    for (const QByteArray& label :
         {QByteArray("x-no-such-charset"), QByteArray(""), QByteArray("bad\0name", 8)}) {
        EXPECT_FALSE(decodeCharset("abc", label).has_value()) << label.toStdString();
    }
}

TEST(DecodeCharsetTest, unlabelledOrMislabelledBytes_areRecognised) {
    const std::pair<QByteArray, const char16_t*> guesses[] = {
        {"\x1b$B2~$6$s\x1b(B web01", u"\u6539\u3056\u3093 web01"},
        {"\xe6\x94\xb9\xe3\x81\x96\xe3\x82\x93", u"\u6539\u3056\u3093"},
        // 改ざんを検知しました。 in EUC-JP: every byte pair is also a valid CP932 sequence
        {"\xb2\xfe\xa4\xb6\xa4\xf3\xa4\xf2\xb8\xa1\xc3\xce\xa4\xb7\xa4\xde\xa4\xb7\xa4\xbf\xa1\xa3",
         u"\u6539\u3056\u3093\u3092\u691C\u77E5\u3057\u307E\u3057\u305F\u3002"},
        // 障害発生: kanji only, still more like EUC-JP than like half-width kana
        {"\xbe\xe3\xb3\xb2\xc8\xaf\xc0\xb8", u"\u969C\u5BB3\u767A\u751F"},
        {"\x89\xfc\x82\xb4\x82\xf1\x82\xf0\x8c\x9f\x92\x6d",
         u"\u6539\u3056\u3093\u3092\u691C\u77E5"},
        {"\xbb\xb0\xca\xde \x83\x54\x81\x5b\x83\x6f",
         u"\uFF7B\uFF70\uFF8A\uFF9E \u30B5\u30FC\u30D0"},
        // neither fits cleanly: CP932 is the fallback
        {"\x82\xa0\xff", u"\u3042\uFFFD"},
        // ASCII and one half-width ｱ: a single byte that is no UTF-8 makes it CP932
        {"web01 \xb1", u"web01 \uFF71"},
    };
    for (const auto& [bytes, text] : guesses) {
        EXPECT_EQ(decodeUnlabelled(bytes), u16(text)) << bytes.toStdString();
    }
    // Machine-sent mail often says us-ascii or iso-2022-jp over Shift_JIS or UTF-8 bytes; a label
    // the bytes fit wins, and when nothing fits cleanly the label still decides.
    const QByteArray sjis = "\x89\xfc\x82\xb4\x82\xf1";
    const DecodeCase trusting[] = {
        {sjis, "us-ascii", u"\u6539\u3056\u3093"},
        // the ASCII check takes 8 bytes at a time: 8-bit bytes inside a word, none at its start
        {"report:  " + sjis + " ok ok ok", "us-ascii", u"report:  \u6539\u3056\u3093 ok ok ok"},
        {sjis, "x-unknown", u"\u6539\u3056\u3093"},
        {"\xc3\xa9", "iso-8859-1", u"\u00c3\u00a9"},
        {"\x82\xa0\xff", "shift_jis", u"\u3042\uFFFD"},
    };
    for (const DecodeCase& c : trusting) {
        EXPECT_EQ(mime::decodeTrusting(c.bytes, c.label), u16(c.text)) << c.label.toStdString();
    }
}

TEST(DecodeHeaderTest, rawValue_decodesToExpectedText) {
    const std::pair<QByteArray, const char16_t*> cases[] = {
        {" Daily report \r\n", u"Daily report "},
        // 改ざん in ISO-2022-JP, ESC $ B 2~ $6 $s ESC ( B, cut inside 改 and inside the escape
        {"=?ISO-2022-JP?B?GyRCMg==?= =?ISO-2022-JP?B?fiQ2JHMbKEI=?=", u"\u6539\u3056\u3093"},
        {"=?iso-2022-jp?B?GyQ=?=\r\n =?ISO-2022-JP?b?QjJ+JDYkcxsoQg==?=", u"\u6539\u3056\u3093"},
        // every word padded, every word kept
        {"=?UTF-8?B?YWI=?= =?UTF-8?B?Y2Q=?=\t=?UTF-8?B?ZWY=?=", u"abcdef"},
        {"=?ISO-8859-1?Q?=E9?= =?UTF-8?B?4pGg?=", u"\u00e9\u2460"},
        {"=?UTF-8?X?abc?= =?UTF-8?B?a!b?= =?UTF-8?B?abc =?utf-8?B?YQ==",
         u"=?UTF-8?X?abc?= =?UTF-8?B?a!b?= =?UTF-8?B?abc =?utf-8?B?YQ=="},
        {"\x83\x54\x81\x5b\x83\x6f =?UTF-8?B?4pGg?=", u"\u30b5\u30fc\u30d0 \u2460"},
        {"Tripwire\r\n\treport\n  now", u"Tripwire\treport  now"},
        {QByteArray("a\0b", 3), u"a\uFFFDb"},
    };
    for (const auto& [raw, text] : cases) {
        EXPECT_EQ(decodeHeaderValue(raw), u16(text)) << raw.toStdString();
    }
}

TEST(HtmlToTextTest, html_reducesToReadableText) {
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"  <b>web01</b>\r\n   <i>changed</i>\t ok ", u"web01 changed ok"},
        {u"a<br>b<BR/>c<p>d</p><div>e</div>f", u"a\r\nb\r\nc\r\nd\r\ne\r\nf"},
        {u"&lt;tag&gt; &amp; &quot;q&quot;&nbsp;&yen;", u"<tag> & \"q\" \u00a5"},
        {u"<table><tr><td>host</td><td>web01</td></tr><tr><td>state</td><td>ok</td></tr></table>",
         u"host web01\r\nstate ok"},
    };
    for (const auto& [html, text] : cases) {
        EXPECT_EQ(mime::htmlToText(u16(html)), u16(text)) << u16(html).toStdString();
    }
}

}  // namespace
}  // namespace kervo

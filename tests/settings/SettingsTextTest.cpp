#include <gtest/gtest.h>

#include <vector>

#include "settings/SettingsText.h"

using kervo::decodeSettingsText;
using kervo::FieldFault;
using kervo::SettingsCursor;
using kervo::SettingsField;

namespace {

struct Expected {
    const char* text;
    bool quoted;
    int lineAfter;  // the cursor's line once the field and its delimiter are read
};

struct FieldsCase {
    const char* name;
    const char* input;
    std::vector<Expected> fields;  // everything the input holds, in order
};

class CursorFields : public ::testing::TestWithParam<FieldsCase> {};

TEST_P(CursorFields, input_readsTheseFieldsThenNothing) {
    const FieldsCase& c = GetParam();
    SettingsCursor cursor(QString::fromUtf8(c.input));
    for (size_t i = 0; i < c.fields.size(); ++i) {
        SettingsField field;
        ASSERT_EQ(cursor.readField(field), FieldFault::None) << "field " << i;
        EXPECT_EQ(field.text, QString::fromUtf8(c.fields[i].text)) << "field " << i;
        EXPECT_EQ(field.quoted, c.fields[i].quoted) << "field " << i;
        EXPECT_EQ(cursor.line(), c.fields[i].lineAfter) << "field " << i;
    }
    SettingsField rest;
    EXPECT_EQ(cursor.readField(rest), FieldFault::NothingLeft);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, CursorFields,
    ::testing::Values(
        FieldsCase{"commaAndLineEndAlike",
                   "a,b\r\nc,d",
                   {{"a", false, 1}, {"b", false, 2}, {"c", false, 2}, {"d", false, 2}}},
        FieldsCase{"quotedComma", "\"x, y\",z\r\n", {{"x, y", true, 1}, {"z", false, 2}}},
        FieldsCase{"twoCommas", "a,,b", {{"a", false, 1}, {"", false, 1}, {"b", false, 1}}},
        FieldsCase{"commaAtLineStart", ",b\r\n", {{"", false, 1}, {"b", false, 2}}},
        FieldsCase{"blankLineIsEmptyField",
                   "a\r\n\r\nb",
                   {{"a", false, 2}, {"", false, 3}, {"b", false, 3}}},
        FieldsCase{"blanksAroundUnquoted", " \t a b \t,c", {{"a b", false, 1}, {"c", false, 1}}},
        FieldsCase{"blanksBeforeQuote", "  \" a \" ,c", {{" a ", true, 1}, {"c", false, 1}}},
        FieldsCase{
            "textAfterClosingQuoteIgnored", "\"a\"junk,b", {{"a", true, 1}, {"b", false, 1}}},
        FieldsCase{"quoteInsideUnquoted", "ab\"c,d", {{"ab\"c", false, 1}, {"d", false, 1}}},
        FieldsCase{"emptyQuotes", "\"\",x", {{"", true, 1}, {"x", false, 1}}},
        FieldsCase{"commaAtEndOfFile", "a,", {{"a", false, 1}, {"", false, 1}}},
        FieldsCase{"crAlone", "a\rb\r", {{"a", false, 2}, {"b", false, 3}}},
        FieldsCase{"lfAlone", "a\nb\n", {{"a", false, 2}, {"b", false, 3}}},
        FieldsCase{
            "crLfIsOneLineEnd", "a\r\n\nb", {{"a", false, 2}, {"", false, 3}, {"b", false, 3}}},
        FieldsCase{"quotedSpansLines",
                   "\"a\r\nb\rc\",d\r\ne",
                   {{"a\r\nb\rc", true, 3}, {"d", false, 4}, {"e", false, 4}}},
        FieldsCase{
            "japanese", "改ざん,\"侵入, 検知\"", {{"改ざん", false, 1}, {"侵入, 検知", true, 1}}}),
    [](const ::testing::TestParamInfo<FieldsCase>& p) { return p.param.name; });

TEST(SettingsCursor, unclosedQuote_isReportedAndCursorStays) {
    SettingsCursor cursor(QStringLiteral("a\r\n  \"never closed,b\r\n"));
    SettingsField field;
    ASSERT_EQ(cursor.readField(field), FieldFault::None);
    EXPECT_EQ(cursor.readField(field), FieldFault::UnclosedQuote);
    EXPECT_EQ(cursor.line(), 2);
    EXPECT_EQ(field.text, QStringLiteral("a"));
}

TEST(SettingsCursor, whiteSpaceTail_countsAsTheEnd) {
    for (const char* tail : {"", "\r\n", "  \t", "\r\n\r\n  \n", "\xE3\x80\x80"}) {
        SettingsCursor cursor(QStringLiteral("a") + QString::fromUtf8(tail));
        EXPECT_FALSE(cursor.onlyWhiteSpaceLeft()) << tail;
        SettingsField field;
        ASSERT_EQ(cursor.readField(field), FieldFault::None);
        EXPECT_TRUE(cursor.onlyWhiteSpaceLeft()) << tail;
    }
}

struct DecodeCase {
    const char* name;
    QByteArray bytes;
    const char* text;  // UTF-8
};

class Decode : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(Decode, bytes_decodeToText) {
    const std::optional<QString> text = decodeSettingsText(GetParam().bytes);
    ASSERT_TRUE(text.has_value());
    EXPECT_EQ(*text, QString::fromUtf8(GetParam().text));
}

// ①改ざん検知～ in CP932, then in UTF-8.
const QByteArray kCp932Alarm("\x87\x40\x89\xfc\x82\xb4\x82\xf1\x8c\x9f\x92\x6d\x81\x60");
const QByteArray kUtf8Alarm(
    "\xe2\x91\xa0\xe6\x94\xb9\xe3\x81\x96\xe3\x82\x93\xe6\xa4\x9c\xe7"
    "\x9f\xa5\xef\xbd\x9e");

INSTANTIATE_TEST_SUITE_P(
    Encodings, Decode,
    ::testing::Values(
        DecodeCase{"ascii", "a,b\r\n", "a,b\r\n"},
        DecodeCase{"utf8", kUtf8Alarm + "\r\n", "①改ざん検知～\r\n"},
        DecodeCase{"utf8WithBom", "\xEF\xBB\xBF" + kUtf8Alarm, "①改ざん検知～"},
        DecodeCase{"bomOnly", "\xEF\xBB\xBF", ""},
        DecodeCase{"cp932", kCp932Alarm + ",x", "①改ざん検知～,x"},
        // ｶﾅ (half-width kana, single bytes) and a backslash path stay what they are
        DecodeCase{"cp932SingleBytes", QByteArray("img\\\xb6\xc5.gif"), "img\\ｶﾅ.gif"},
        // ソフト表示: ソ and 表 end in the byte of an ASCII backslash, which must not split them
        DecodeCase{"cp932TrailBackslash", QByteArray("\x83\x5c\x83\x74\x83\x67\x95\x5c\x8e\xa6"),
                   "ソフト表示"}),
    [](const ::testing::TestParamInfo<DecodeCase>& p) { return p.param.name; });

}  // namespace

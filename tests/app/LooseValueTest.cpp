#include <gtest/gtest.h>

#include "app/LooseValue.h"

using kervo::LooseValue;

namespace {

struct FieldCase {
    const char* field;
    bool quoted;
    const char* text;
    double number;
    bool isNumber;
};

// Names the row in test listings: the field as written, and whether it was quoted.
void PrintTo(const FieldCase& c, std::ostream* out) {
    *out << (*c.field != '\0' ? c.field : "empty") << (c.quoted ? "_quoted" : "");
}

class LooseValueField : public ::testing::TestWithParam<FieldCase> {};

TEST_P(LooseValueField, field_readsBackAsWritten) {
    const FieldCase& c = GetParam();
    const LooseValue v = LooseValue::fromField(QString::fromUtf8(c.field), c.quoted);
    EXPECT_EQ(v.toText(), QString::fromUtf8(c.text));
    EXPECT_DOUBLE_EQ(v.toNumber(), c.number);
    EXPECT_EQ(v.isNumber(), c.isNumber);
    EXPECT_EQ(v.isEmpty(), *c.field == '\0');
}

INSTANTIATE_TEST_SUITE_P(Fields, LooseValueField,
                         ::testing::Values(FieldCase{"007", false, "7", 7, true},
                                           FieldCase{"007", true, "007", 7, false},
                                           FieldCase{"-12", false, "-12", -12, true},
                                           FieldCase{"1234567", false, "1234567", 1234567, true},
                                           FieldCase{"+3.50", false, "3.5", 3.5, true},
                                           FieldCase{"1.2.3", false, "1.2.3", 0, false},
                                           FieldCase{"12abc", false, "12abc", 0, false},
                                           FieldCase{"サーバ", false, "サーバ", 0, false},
                                           FieldCase{"", false, "", 0, false}));

}  // namespace

#include <gtest/gtest.h>

#include "AlarmFixture.h"
#include "alarm/ReportAnalysis.h"

using namespace kervo;
using kervo::test::AlarmFixture;

namespace {

QString u8(const char* text) {
    return QString::fromUtf8(text);
}

struct SearchCase {
    const char* needle;
    const char* text;
    bool found;
};

TEST(OccursIn, table_exactCaseSensitiveAndEmptyRules) {
    const SearchCase cases[] = {{"web", "web01", true},
                                {"01", "web01", true},
                                {"web01", "web0", false},
                                {"WEB", "web01", false},
                                {"ｗｅｂ", "web01", false},
                                {"改ざん", "ファイル改ざん検知", true},
                                {"", "x", true},
                                {"", "", false},
                                {"x", "", false},
                                {"a b", "a  b", false},
                                {"\r\n", "line\r\nnext", true}};
    for (const SearchCase& c : cases) {
        EXPECT_EQ(occursIn(u8(c.needle), u8(c.text)), c.found) << c.needle << " in " << c.text;
    }
}

struct AttributionCase {
    const char* name;
    std::vector<const char*> servers;  // slot i is servers[i]
    const char* firstText;
    int dial;
};

class Attribution : public AlarmFixture, public ::testing::WithParamInterface<AttributionCase> {};

TEST_P(Attribution, report_goesToTheHighestNamedDialWithItsGreenHand) {
    const AttributionCase& c = GetParam();
    QStringList names;
    for (const char* n : c.servers) {
        names.append(u8(n));
    }
    for (auto& s : f.state.servers) {
        s = {};
    }
    f.setServers(names);
    f.state.currentServer = 7;  // left over from an earlier report
    AnalyseReport(f.context, u8(c.firstText), QStringLiteral("body"));
    EXPECT_EQ(f.state.currentServer, c.dial);
    for (int i = 0; i < kDialCount; ++i) {
        EXPECT_EQ(greenHandOn(i), i == c.dial) << "dial " << i;
    }
    EXPECT_FALSE(f.timer2.isActive());
}

INSTANTIATE_TEST_SUITE_P(
    Reports, Attribution,
    ::testing::Values(
        AttributionCase{"noName", {"alpha", "bravo", "charlie"}, "nothing known", 0},
        AttributionCase{"onlyIndexZero", {"alpha", "bravo", "charlie"}, "alpha is down", 0},
        AttributionCase{"indexZeroAndHigher", {"alpha", "bravo", "charlie"}, "alpha charlie", 2},
        AttributionCase{"twoAndFive", {"s0", "s1", "s2", "s3", "s4", "s5"}, "s5 after s2", 5},
        AttributionCase{"shorterNameContained", {"x", "web01-db", "web01"}, "web01-db", 2},
        AttributionCase{"longerAtLowerIndex", {"x", "web", "web01"}, "web01", 2},
        AttributionCase{"shorterAtLowerIndex", {"x", "web", "web01"}, "web02", 1},
        AttributionCase{"emptyNameAtK", {"x", "alpha", "", "charlie"}, "any text", 2},
        AttributionCase{"nameAboveEmpty", {"x", "alpha", "", "charlie"}, "charlie", 3},
        AttributionCase{"emptyFirstText", {"x", "alpha", "", "charlie"}, "", 0},
        AttributionCase{"caseDiffers", {"x", "Web01"}, "web01", 0},
        AttributionCase{"fullWidthDiffers", {"x", "ｗｅｂ０１"}, "web01", 0},
        AttributionCase{"japaneseName", {"x", "本社サーバ"}, "【本社サーバ】改ざん", 1},
        AttributionCase{"noServers", {}, "anything", 0}),
    [](const auto& param) { return std::string(param.param.name); });

struct RuleRow {
    const char* first;
    const char* second;
    const char* message;
};

struct RuleCase {
    const char* name;
    std::vector<RuleRow> rules;
    const char* firstText;
    const char* secondText;
    const char* message;  // nullptr: no alarm
};

class Rules : public AlarmFixture, public ::testing::WithParamInterface<RuleCase> {};

TEST_P(Rules, report_raisesTheAlarmOfTheLastMatchingRule) {
    const RuleCase& c = GetParam();
    for (const RuleRow& r : c.rules) {
        f.addRule(u8(r.first), u8(r.second), u8(r.message));
    }
    const QString first = u8(c.firstText);
    const QString second = u8(c.secondText);
    AnalyseReport(f.context, first, second);

    const int dial = f.state.currentServer;
    EXPECT_TRUE(greenHandOn(dial));
    if (c.message == nullptr) {
        EXPECT_FALSE(f.timer2.isActive());
        EXPECT_TRUE(label(FormLabel::Label1).isEmpty());
        EXPECT_TRUE(label(FormLabel::Label3).isEmpty());
        EXPECT_EQ(f.form.mailBodyPresence(), MailBodyPresence::Absent);
        EXPECT_EQ(dialColour(dial), kDial);
        EXPECT_FALSE(f.state.dialAlarmed[static_cast<size_t>(dial)]);
        return;
    }
    EXPECT_TRUE(f.timer2.isActive());
    EXPECT_EQ(f.timer2.interval(), 1000);
    EXPECT_EQ(label(FormLabel::Label1), first);
    EXPECT_EQ(label(FormLabel::Label2), second);
    EXPECT_EQ(label(FormLabel::Label3), u8(c.message));
    EXPECT_EQ(f.form.mailBodyText(), u8(c.message) + QStringLiteral("\r\n") + second);
    EXPECT_EQ(f.form.mailBodyPresence(), MailBodyPresence::Hidden);
    EXPECT_EQ(dialColour(dial), kDialAlarm);
    EXPECT_TRUE(f.state.dialAlarmed[static_cast<size_t>(dial)]);
    // the blink starts with the next tick, not at the match
    EXPECT_EQ(f.form.windowState(), WindowState::Normal);
    EXPECT_FALSE(f.form.resetLabelVisible());
    EXPECT_EQ(f.beeper.beeps, 0);
}

const RuleRow kPasswd{"web01", "/etc/passwd", "passwd changed"};

INSTANTIATE_TEST_SUITE_P(
    Reports, Rules,
    ::testing::Values(
        RuleCase{"bothPatterns", {kPasswd}, "web01 check", "M /etc/passwd", "passwd changed"},
        RuleCase{"firstOnly", {kPasswd}, "web01 check", "M /etc/group", nullptr},
        RuleCase{"secondOnly", {kPasswd}, "db01 check", "M /etc/passwd", nullptr},
        RuleCase{"caseDiffers", {kPasswd}, "WEB01 check", "M /etc/passwd", nullptr},
        RuleCase{"emptyPatterns", {{"", "", "anything"}}, "a", "b", "anything"},
        RuleCase{"emptyPatternsEmptySecond", {{"", "", "anything"}}, "a", "", nullptr},
        RuleCase{"emptyPatternsEmptyFirst", {{"", "", "anything"}}, "", "b", nullptr},
        RuleCase{"emptySecondText", {{"web01", "", "m"}}, "web01", "", nullptr},
        RuleCase{"noRules", {}, "web01 check", "M /etc/passwd", nullptr},
        RuleCase{"twoMatching",
                 {kPasswd, {"", "passwd", "second rule"}, {"zzz", "", "no"}},
                 "web01 check",
                 "M /etc/passwd",
                 "second rule"},
        RuleCase{"laterRuleFails",
                 {kPasswd, {"db01", "", "no"}},
                 "web01",
                 "/etc/passwd",
                 "passwd changed"},
        RuleCase{
            "literalAmpersands", {{"R&D", "&&", "A & B &&C"}}, "R&D web01", "x && y", "A & B &&C"},
        RuleCase{"japanese",
                 {{"改ざん", "侵入", "侵入を検知しました"}},
                 "【改ざん検査】proxy01",
                 "不正侵入の痕跡\r\n詳細",
                 "侵入を検知しました"}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(AlarmFixture, reportMatchingNoRule_keepsTheEarlierAlarmTexts) {
    f.addRule(QStringLiteral("web01"), QStringLiteral("passwd"), QStringLiteral("passwd changed"));
    AnalyseReport(f.context, QStringLiteral("web01 check"), QStringLiteral("passwd"));
    AnalyseReport(f.context, QStringLiteral("db01 check"), QStringLiteral("all quiet"));
    EXPECT_EQ(f.state.currentServer, 2);
    EXPECT_TRUE(greenHandOn(2));
    EXPECT_EQ(label(FormLabel::Label1), QStringLiteral("web01 check"));
    EXPECT_EQ(label(FormLabel::Label2), QStringLiteral("passwd"));
    EXPECT_EQ(label(FormLabel::Label3), QStringLiteral("passwd changed"));
    EXPECT_EQ(f.form.mailBodyText(), QStringLiteral("passwd changed\r\npasswd"));
    EXPECT_EQ(dialColour(1), kDialAlarm);
    EXPECT_EQ(dialColour(2), kDial);
    EXPECT_TRUE(f.timer2.isActive());
}

TEST_F(AlarmFixture, emptyAlarmDialPicture_leavesTheDialBareWithoutComplaint) {
    f.state.dialAlarmPicture.clear();
    f.addRule(QStringLiteral("web01"), QString(), QStringLiteral("m"));
    AnalyseReport(f.context, QStringLiteral("web01"), QStringLiteral("b"));
    EXPECT_TRUE(f.timer2.isActive());
    EXPECT_TRUE(f.form.dial(1).picture.isNull());
    EXPECT_TRUE(f.stream.problems().isEmpty());
}

class UnusableAlarmDialPicture : public AlarmFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(UnusableAlarmDialPicture, match_stillRaisesTheAlarmAndReportsOnce) {
    const bool exists = GetParam();
    f.state.dialAlarmPicture = exists ? writeGarbage(QStringLiteral("broken.gif"))
                                      : missingPath(QStringLiteral("alarm.gif"));
    f.addRule(QStringLiteral("db01"), QString(), QStringLiteral("first"));
    f.addRule(QString(), QStringLiteral("changed"), QStringLiteral("second"));
    EXPECT_NO_THROW(AnalyseReport(f.context, QStringLiteral("db01"), QStringLiteral("changed")));
    EXPECT_TRUE(f.timer2.isActive());
    EXPECT_EQ(label(FormLabel::Label3), QStringLiteral("second"));
    EXPECT_EQ(f.form.mailBodyText(), QStringLiteral("second\r\nchanged"));
    EXPECT_EQ(dialColour(2), kDial);  // keeps its normal face
    EXPECT_TRUE(f.state.dialAlarmed[2]);
    EXPECT_EQ(logLinesNaming(f.state.dialAlarmPicture), 1);
    EXPECT_TRUE(f.warnings.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(MissingOrUnreadable, UnusableAlarmDialPicture, ::testing::Bool());

}  // namespace

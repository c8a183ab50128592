#include <gtest/gtest.h>

#include "AlarmFixture.h"
#include "alarm/ReportAnalysis.h"

using namespace kervo;
using kervo::test::u8;

namespace {

TEST(OccursIn, table_exactCaseSensitiveAndEmptyRules) {
    const std::tuple<const char*, const char*, bool> cases[] = {{"web", "web01", true},
                                                                {"01", "web01", true},
                                                                {"web01", "web0", false},
                                                                {"WEB", "web01", false},
                                                                {"ｗｅｂ", "web01", false},
                                                                {"", "x", true},
                                                                {"", "", false},
                                                                {"x", "", false}};
    for (const auto& [needle, text, found] : cases) {
        EXPECT_EQ(occursIn(u8(needle), u8(text)), found) << needle << " in " << text;
    }
}

TEST(AnalyseReport, table_goesToTheHighestNamedDialWithItsGreenHand) {
    const std::tuple<const char*, const char*, int> cases[] = {
        // slot i is the i-th name of the list split at '|'; nullptr: no servers at all
        {"alpha|bravo|charlie", "nothing known", 0},
        {"alpha|bravo|charlie", "alpha is down", 0},  // index 0 is never searched for
        {"alpha|bravo|charlie", "alpha charlie", 2},
        {"s0|s1|s2|s3|s4|s5", "s5 after s2", 5},
        {"x|web01-db|web01", "web01-db", 2},  // the shorter name is contained in the longer
        {"x|alpha||charlie", "any text", 2},  // an empty name catches every report
        {"x|alpha||charlie", "charlie", 3},
        {"x|alpha||charlie", "", 0},
        {nullptr, "anything", 0}};
    for (const auto& [servers, firstText, dial] : cases) {
        SCOPED_TRACE(firstText);
        test::MonitorFixture f;
        f.setServers(servers == nullptr ? QStringList() : u8(servers).split(u'|'));
        f.state.currentServer = 7;  // left over from an earlier report
        AnalyseReport(f.context, u8(firstText), u8("body"));
        EXPECT_EQ(f.state.currentServer, dial);
        for (int i = 0; i < kDialCount; ++i) {
            EXPECT_EQ(test::imageHasColour(f.form.dial(i).hands, Qt::green), i == dial) << i;
        }
        EXPECT_FALSE(f.timer2.isActive());
    }
}

struct RuleCase {
    std::vector<std::array<const char*, 3>> rules;  // first pattern, second pattern, message
    const char* firstText;
    const char* secondText;
    const char* message;  // nullptr: no alarm
};

const std::array<const char*, 3> kPasswd{"web01", "/etc/passwd", "passwd changed"};

TEST(AnalyseReport, rulesTable_raiseTheAlarmOfTheLastMatchingRule) {
    const RuleCase cases[] = {
        {{kPasswd}, "web01 check", "M /etc/passwd", "passwd changed"},
        {{kPasswd}, "web01 check", "M /etc/group", nullptr},
        {{{"", "", "anything"}}, "a", "b", "anything"},  // empty patterns match every text...
        {{{"", "", "anything"}}, "a", "", nullptr},      // ...but an empty one
        {{}, "web01 check", "M /etc/passwd", nullptr},
        {{kPasswd, {"", "passwd", "second rule"}, {"zzz", "", "no"}},
         "web01 check",
         "M /etc/passwd",
         "second rule"},
        // a subject that tries to forge a second, time-stamped log line
        {{{"web01", "", "forged"}},
         "web01\r\n2025-01-01T00:00:00 kervo: alarm reset\rx",
         "b",
         "forged"}};
    for (const RuleCase& c : cases) {
        SCOPED_TRACE(c.message == nullptr ? "no alarm" : c.message);
        test::MonitorFixture f;
        f.setServers({u8("default"), u8("web01")});
        f.state.dialAlarmPicture = f.writePicture(u8("alarm.png"), {9, 9}, Qt::red);
        for (const auto& [first, second, message] : c.rules) {
            f.addRule(u8(first), u8(second), u8(message));
        }
        const QString second = u8(c.secondText);
        AnalyseReport(f.context, u8(c.firstText), second);

        const bool alarm = c.message != nullptr;
        const auto dial = static_cast<size_t>(f.state.currentServer);
        EXPECT_EQ(f.timer2.isActive(), alarm);
        EXPECT_EQ(f.form.labelText(FormLabel::Label1), alarm ? u8(c.firstText) : QString());
        EXPECT_EQ(f.form.labelText(FormLabel::Label2), alarm ? second : QString());
        EXPECT_EQ(f.form.labelText(FormLabel::Label3), u8(c.message));
        EXPECT_EQ(f.form.mailBodyText(), alarm ? u8(c.message) + u8("\r\n") + second : QString());
        EXPECT_EQ(f.form.mailBodyPresence(),
                  alarm ? MailBodyPresence::Hidden : MailBodyPresence::Absent);
        EXPECT_EQ(f.form.dial(f.state.currentServer).picture.isNull(), !alarm);
        EXPECT_EQ(f.state.dialAlarmed[dial], alarm);
        // the blink starts with the next tick, not at the match
        EXPECT_FALSE(f.form.resetLabelVisible() || f.beeper.beeps > 0);
        EXPECT_EQ(f.form.windowState(), WindowState::Normal);
        // every alarm is recorded on one line of its own: nothing else reaches the log
        EXPECT_EQ(f.stream.problems(), QStringList());
    }
}

class AlarmDialPicture : public test::AlarmFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(AlarmDialPicture, emptyOrMissing_alarmRaisedAndAMissingOneReportedOnce) {
    const bool missing = GetParam();
    f.state.dialAlarmPicture = missing ? missingPath() : QString();
    f.addRule(u8("db01"), QString(), u8("first"));
    f.addRule(QString(), u8("changed"), u8("second"));
    EXPECT_NO_THROW(AnalyseReport(f.context, u8("db01"), u8("changed")));
    EXPECT_TRUE(f.timer2.isActive());
    EXPECT_EQ(f.form.mailBodyText(), u8("second\r\nchanged"));
    EXPECT_TRUE(f.state.dialAlarmed[2]);
    // an unreadable picture leaves the normal face; an empty path asks for no picture at all
    EXPECT_EQ(dialColour(2), missing ? kDial : QColor());
    EXPECT_EQ(f.stream.problems().size(), missing ? 1 : 0);
    EXPECT_TRUE(f.warnings.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(MissingOrEmpty, AlarmDialPicture, ::testing::Bool());

}  // namespace

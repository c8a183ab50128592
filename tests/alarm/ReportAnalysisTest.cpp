// What a report means: the dial it goes to and the rules it matches.
#include "AlarmFixture.h"

using namespace kervo;
using kervo::test::u8;

namespace {

TEST(OccursIn, table_exactCaseSensitiveAndEmptyRules) {
    const std::tuple<const char*, const char*, bool> cases[] = {
        {"web", "web01", true},     {"web01", "web0", false}, {"WEB", "web01", false},
        {"ｗｅｂ", "web01", false}, {"", "x", true},          {"", "", false}};
    for (const auto& [needle, text, found] : cases) {
        EXPECT_EQ(occursIn(u8(needle), u8(text)), found) << needle << " in " << text;
    }
}

TEST(ReportDial, table_goesToTheHighestNamedDialWithItsGreenHand) {
    const std::tuple<const char*, const char*, int> cases[] = {
        // server i is the i-th name of the list split at '|'; nullptr: no servers at all
        {"alpha|bravo|charlie", "nothing known", 0},
        {"alpha|bravo|charlie", "alpha is down", 0},  // the first name is never searched for
        {"alpha|bravo|charlie", "alpha charlie", 2},
        {"s0|s1|s2|s3|s4|s5", "s5 after s2", 5},
        {"x|web01-db|web01", "web01-db", 2},  // the shorter name is contained in the longer
        {"x|alpha||charlie", "any text", 2},  // an empty name catches every report
        {"x|alpha||charlie", "charlie", 3},
        {"x|alpha||charlie", "", 0},
        {nullptr, "anything", 0}};
    for (const auto& [servers, subject, dial] : cases) {
        SCOPED_TRACE(subject);
        test::MonitorFixture f;
        const Settings settings =
            test::settingsWith(servers == nullptr ? QStringList() : u8(servers).split(u'|'));
        PictureSource pictures(f.log);
        Alarm alarm(f.window, pictures, f.beeper, f.log, {});
        ReportAnalysis(settings, f.window, f.clock, alarm).analyse(u8(subject), u8("body"));
        for (int i = 0; i < kDialCount; ++i) {
            EXPECT_EQ(test::countPixels(f.window.dial(i).hands, rgb(0, 255, 0)) > 0, i == dial)
                << i;
        }
        EXPECT_FALSE(alarm.isBlinking());
    }
}

struct RuleCase {
    std::vector<std::array<const char*, 3>> rules;  // first pattern, second pattern, message
    const char* subject;
    const char* body;
    const char* message;  // nullptr: no alarm
};

const std::array<const char*, 3> kPasswd{"web01", "/etc/passwd", "passwd changed"};

TEST(ReportRules, table_raiseTheAlarmOfTheLastMatchingRule) {
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
        Settings settings = test::settingsWith({u8("default"), u8("web01")});
        settings.dialAlarmPicture = f.writePicture(u8("alarm.png"), {9, 9}, Qt::red);
        for (const auto& [first, second, message] : c.rules) {
            test::addRule(settings, u8(first), u8(second), u8(message));
        }
        PictureSource pictures(f.log);
        Alarm alarm(f.window, pictures, f.beeper, f.log, {{}, {}, {}, settings.dialAlarmPicture});
        ReportAnalysis(settings, f.window, f.clock, alarm).analyse(u8(c.subject), u8(c.body));

        const bool raised = c.message != nullptr;
        EXPECT_EQ(alarm.isBlinking(), raised);
        EXPECT_EQ(f.window.alarmSubject(), raised ? u8(c.subject) : QString());
        EXPECT_EQ(f.window.alarmReport(), raised ? u8(c.body) : QString());
        EXPECT_EQ(f.window.alarmMessage(), u8(c.message));
        EXPECT_EQ(f.window.mailBodyText(),
                  raised ? u8(c.message) + u8("\r\n") + u8(c.body) : QString());
        EXPECT_EQ(f.window.mailBodyPresence(),
                  raised ? MailBodyPresence::Hidden : MailBodyPresence::Absent);
        const int dial = u8(c.subject).contains(u8("web01")) ? 1 : 0;
        EXPECT_EQ(f.window.dial(dial).picture.isNull(), !raised);
        // every alarm is recorded on one line of its own: nothing else reaches the log
        EXPECT_EQ(f.stream.problems(), QStringList());
    }
}

class AlarmDialPicture : public test::AlarmFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(AlarmDialPicture, emptyOrMissing_alarmRaisedAndAMissingOneReportedOnce) {
    const bool missing = GetParam();
    Settings changed = settings;
    changed.dialAlarmPicture = missing ? f.pictures.filePath(u8("gone.gif")) : QString();
    Alarm bare(f.window, pictures, f.beeper, f.log, picturesOf(changed));
    test::addRule(changed, u8("db01"), QString(), u8("first"));
    test::addRule(changed, QString(), u8("changed"), u8("second"));
    ReportAnalysis(changed, f.window, f.clock, bare).analyse(u8("db01"), u8("changed"));
    EXPECT_TRUE(bare.isBlinking());
    EXPECT_EQ(f.window.mailBodyText(), u8("second\r\nchanged"));
    // an unreadable picture leaves the normal face; an empty path asks for no picture at all
    EXPECT_EQ(dialColour(2), missing ? kDial : QColor());
    EXPECT_EQ(f.stream.problems().size(), missing ? 1 : 0);
    EXPECT_TRUE(f.warnings.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(MissingOrEmpty, AlarmDialPicture, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& row) {
                             return row.param ? "missing" : "empty";
                         });

}  // namespace

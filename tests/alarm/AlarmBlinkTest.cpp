#include <gtest/gtest.h>

#include "AlarmFixture.h"
#include "alarm/AlarmBlink.h"
#include "alarm/ReportAnalysis.h"

using namespace kervo;
using kervo::test::u8;

namespace {

class Blink : public test::AlarmFixture {
  protected:
    Blink() {
        f.addRule(u8("web01"), u8("passwd"), u8("changed"));
        f.addRule(u8("db01"), u8("passwd"), u8("changed"));
    }
    void raise(const char* server = "web01") {
        AnalyseReport(f.context, u8(server), u8("/etc/passwd"));
        EXPECT_TRUE(f.timer2.isActive());
    }
    void tick(int times = 1) {
        for (int i = 0; i < times; ++i) {
            Timer2_Timer(f.context);
        }
    }
    // The look a tick left behind: alarm (true) or calm (false).
    bool alarmLook() const { return f.form.backgroundColour() == f.state.alarmColour; }
};

TEST_F(Blink, ticks_alternateWithABeepEverySecondTickAndThePhaseOutlivesTheReset) {
    int forward = 0;  // each request brings the window forward
    QObject::connect(&f.form, &FormModel::windowStateRequested, [&] { ++forward; });
    raise();
    for (int i = 0; i < 5; ++i) {
        // the operator minimises the window once; the alarm takes it back
        if (i == 3) {
            f.form.noteWindowState(WindowState::Minimised);
        }
        tick();
        EXPECT_EQ(f.form.windowState(), WindowState::Maximised) << i;
        // when the alarm starts and after the minimise, never at every tick
        EXPECT_EQ(forward, i < 3 ? 1 : 2) << i;
        EXPECT_TRUE(f.form.resetLabelVisible()) << i;
        EXPECT_EQ(f.form.backgroundColour(), i % 2 == 0 ? rgb(255, 0, 0) : rgb(255, 255, 255));
        EXPECT_EQ(backgroundPictureColour(), i % 2 == 0 ? kAlarmBack : kBack) << i;
        EXPECT_EQ(f.beeper.beeps, i / 2 + 1) << i;
    }
    // after an odd number of ticks the next alarm begins calm, and without a beep
    alarm_reset_Click(f.context);
    raise("db01");
    tick();
    EXPECT_FALSE(alarmLook());
    EXPECT_EQ(f.beeper.beeps, 3);
    tick();
    EXPECT_TRUE(alarmLook());
    EXPECT_EQ(f.beeper.beeps, 4);
    EXPECT_TRUE(f.stream.problems().isEmpty());
}

TEST_F(Blink, label10DuringAlarm_restoresTheWindowAndKeepsTheTexts) {
    raise();
    tick(3);
    Label10_Click(f.context);
    EXPECT_FALSE(f.timer2.isActive());
    EXPECT_FALSE(f.form.resetLabelVisible());
    EXPECT_EQ(f.form.backgroundColour(), rgb(255, 255, 255));
    EXPECT_EQ(backgroundPictureColour(), kBack);
    EXPECT_EQ(f.form.windowState(), WindowState::Normal);
    EXPECT_EQ(dialColour(1), kDial);
    EXPECT_EQ(f.state.blinkPhase, -1);
    EXPECT_EQ(f.form.labelText(FormLabel::Label3), u8("changed"));
    EXPECT_EQ(f.form.mailBodyText(), u8("changed\r\n/etc/passwd"));
}

TEST_F(Blink, resetWithNoAlarm_restoresTheWindowAndDialZeroOnly) {
    f.form.setWindowState(WindowState::Maximised);
    QImage odd(95, 95, QImage::Format_RGB32);
    odd.fill(Qt::black);
    f.form.setDialPicture(0, odd);
    f.form.setDialPicture(3, odd);
    alarm_reset_Click(f.context);
    EXPECT_EQ(f.form.windowState(), WindowState::Normal);
    EXPECT_EQ(dialColour(0), kDial);
    EXPECT_EQ(dialColour(3), QColor(Qt::black));  // neither alarmed nor current
}

TEST_F(Blink, alarmsOnTwoDialsThenAQuietReport_textsStayAndResetRestoresAllThree) {
    raise("web01");
    raise("db01");
    AnalyseReport(f.context, u8("mail01"), u8("quiet"));
    EXPECT_EQ(dialColour(1), kDialAlarm);
    EXPECT_EQ(dialColour(2), kDialAlarm);
    EXPECT_EQ(f.form.labelText(FormLabel::Label1), u8("db01"));
    tick();
    alarm_reset_Click(f.context);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(dialColour(i), kDial) << i;
    }
    // the next reset, without the normal dial picture, bares the one dial alarmed since
    raise("db01");
    f.state.dialPicture = missingPath();
    EXPECT_NO_THROW(alarm_reset_Click(f.context));
    EXPECT_TRUE(f.form.dial(2).picture.isNull());
    EXPECT_EQ(dialColour(1), kDial);
    EXPECT_EQ(logLinesNaming(f.state.dialPicture), 1);
}

struct BrokenCase {
    const char* name;
    bool alarmPicture;  // the alarm look's picture, else the calm look's
    bool missing;       // else an empty path
};

void PrintTo(const BrokenCase& c, std::ostream* out) {
    *out << c.name;
}

class BrokenBackground : public Blink, public ::testing::WithParamInterface<BrokenCase> {};

TEST_P(BrokenBackground, alarm_blinksOnAndReportsOncePerAlarm) {
    const BrokenCase& c = GetParam();
    (c.alarmPicture ? f.state.alarmBackgroundPicture : f.state.backgroundPicture) =
        c.missing ? missingPath() : QString();
    for (int alarm = 1; alarm <= 2; ++alarm) {
        raise();
        for (int i = 0; i < 4; ++i) {
            tick();
            const bool alarmTick = i % 2 == 0;
            EXPECT_EQ(alarmLook(), alarmTick);
            EXPECT_EQ(backgroundPictureColour(), alarmTick == c.alarmPicture ? QColor()
                                                 : alarmTick                 ? kAlarmBack
                                                                             : kBack);
        }
        // each alarm reports a missing picture once; a missing calm picture fails the reset too
        const int resets = c.alarmPicture ? 0 : alarm - 1;
        EXPECT_EQ(f.stream.problems().size(), c.missing ? alarm + resets : 0);
        alarm_reset_Click(f.context);
    }
    EXPECT_EQ(f.beeper.beeps, 4);
    EXPECT_TRUE(f.warnings.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Pictures, BrokenBackground,
                         ::testing::Values(BrokenCase{"missingAlarmBackground", true, true},
                                           BrokenCase{"emptyAlarmBackground", true, false},
                                           BrokenCase{"missingBackground", false, true}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(Blink, pictureBackDuringAlarm_readAfreshAndALaterFailureReportedAgain) {
    raise();
    const QString path = f.state.alarmBackgroundPicture;
    ASSERT_TRUE(QFile::rename(path, path + u8(".aside")));
    tick(3);  // the alarm look fails twice, reported once
    EXPECT_EQ(logLinesNaming(path), 1);
    ASSERT_TRUE(QFile::rename(path + u8(".aside"), path));
    tick(2);
    EXPECT_EQ(backgroundPictureColour(), kAlarmBack);
    ASSERT_TRUE(QFile::remove(path));
    tick(2);
    EXPECT_EQ(logLinesNaming(path), 2);
}

}  // namespace

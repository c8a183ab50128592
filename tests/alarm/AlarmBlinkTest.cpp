#include <gtest/gtest.h>

#include "AlarmFixture.h"
#include "alarm/AlarmBlink.h"
#include "alarm/ReportAnalysis.h"

using namespace kervo;
using kervo::test::AlarmFixture;

namespace {

class Blink : public AlarmFixture {
  protected:
    Blink() {
        f.addRule(QStringLiteral("web01"), QStringLiteral("passwd"), QStringLiteral("changed"));
        f.addRule(QStringLiteral("db01"), QStringLiteral("passwd"), QStringLiteral("changed"));
    }
    void raise(const char* server = "web01") {
        AnalyseReport(f.context, QString::fromUtf8(server), QStringLiteral("/etc/passwd"));
        ASSERT_TRUE(f.timer2.isActive());
    }
    // The look a tick left behind: alarm (true) or calm (false), checked for consistency.
    bool alarmLook() const {
        const bool alarm = f.form.backgroundColour() == f.state.alarmColour;
        EXPECT_EQ(f.form.backgroundColour(), alarm ? f.state.alarmColour : f.state.calmColour);
        return alarm;
    }
};

TEST_F(Blink, ticks_maximiseAndAlternateWithABeepEverySecondTick) {
    raise();
    struct Expected {
        bool alarm;
        int beeps;
    };
    const Expected ticks[] = {{true, 1}, {false, 1}, {true, 2}, {false, 2}, {true, 3}};
    for (size_t i = 0; i < std::size(ticks); ++i) {
        // the operator minimises or restores between ticks; the alarm takes the window back
        f.form.noteWindowState(i % 2 == 0 ? WindowState::Minimised : WindowState::Normal);
        Timer2_Timer(f.context);
        EXPECT_EQ(f.form.windowState(), WindowState::Maximised) << i;
        EXPECT_TRUE(f.form.resetLabelVisible()) << i;
        EXPECT_EQ(alarmLook(), ticks[i].alarm) << i;
        EXPECT_EQ(backgroundPictureColour(), ticks[i].alarm ? kAlarmBack : kBack) << i;
        EXPECT_EQ(f.beeper.beeps, ticks[i].beeps) << i;
    }
    EXPECT_TRUE(f.timer2.isActive());
    EXPECT_TRUE(f.stream.problems().isEmpty());
}

TEST_F(Blink, picturesChangedDuringAlarm_areReadAfreshEachTick) {
    raise();
    Timer2_Timer(f.context);
    EXPECT_EQ(backgroundPictureColour(), kAlarmBack);
    const QColor replaced(10, 200, 10);
    f.writePicture(QFileInfo(f.state.alarmBackgroundPicture).fileName(), {60, 40}, replaced);
    Timer2_Timer(f.context);
    Timer2_Timer(f.context);
    EXPECT_EQ(backgroundPictureColour(), replaced);
}

class PhaseAcrossAlarms : public Blink, public ::testing::WithParamInterface<int> {};

TEST_P(PhaseAcrossAlarms, resetAfterTicks_nextAlarmStartsWhereThePhaseStood) {
    const int ticks = GetParam();
    raise();
    for (int i = 0; i < ticks; ++i) {
        Timer2_Timer(f.context);
    }
    alarm_reset_Click(f.context);
    const int beepsBefore = f.beeper.beeps;
    raise("db01");
    Timer2_Timer(f.context);
    const bool odd = ticks % 2 == 1;
    EXPECT_EQ(alarmLook(), !odd);
    EXPECT_EQ(f.beeper.beeps - beepsBefore, odd ? 0 : 1);
    Timer2_Timer(f.context);
    EXPECT_EQ(alarmLook(), odd);
    EXPECT_EQ(f.beeper.beeps - beepsBefore, 1);
}

INSTANTIATE_TEST_SUITE_P(TickCounts, PhaseAcrossAlarms, ::testing::Values(0, 1, 2, 3, 4));

using ResetHandler = void (*)(MonitorContext&);

class Reset : public Blink, public ::testing::WithParamInterface<ResetHandler> {};

TEST_P(Reset, duringAlarm_restoresTheWindowAndKeepsTheTexts) {
    raise();
    for (int i = 0; i < 3; ++i) {
        Timer2_Timer(f.context);
    }
    GetParam()(f.context);
    EXPECT_FALSE(f.timer2.isActive());
    EXPECT_FALSE(f.form.resetLabelVisible());
    EXPECT_EQ(f.form.backgroundColour(), rgb(255, 255, 255));
    EXPECT_EQ(backgroundPictureColour(), kBack);
    EXPECT_EQ(f.form.windowState(), WindowState::Normal);
    EXPECT_EQ(dialColour(1), kDial);
    EXPECT_EQ(f.state.blinkPhase, -1);
    EXPECT_EQ(label(FormLabel::Label1), QStringLiteral("web01"));
    EXPECT_EQ(label(FormLabel::Label2), QStringLiteral("/etc/passwd"));
    EXPECT_EQ(label(FormLabel::Label3), QStringLiteral("changed"));
    EXPECT_EQ(f.form.mailBodyText(), QStringLiteral("changed\r\n/etc/passwd"));
}

TEST_P(Reset, withNoAlarm_stillRunsEveryStepOnDialZero) {
    f.form.setWindowState(WindowState::Maximised);
    f.form.setResetLabelVisible(true);
    f.form.setBackgroundColour(rgb(255, 0, 0));
    QImage odd(95, 95, QImage::Format_RGB32);
    odd.fill(Qt::black);
    f.form.setDialPicture(0, odd);
    f.form.setDialPicture(3, odd);
    f.form.setLabelText(FormLabel::Label3, QStringLiteral("earlier"));
    EXPECT_NO_THROW(GetParam()(f.context));
    EXPECT_FALSE(f.timer2.isActive());
    EXPECT_FALSE(f.form.resetLabelVisible());
    EXPECT_EQ(f.form.backgroundColour(), rgb(255, 255, 255));
    EXPECT_EQ(backgroundPictureColour(), kBack);
    EXPECT_EQ(f.form.windowState(), WindowState::Normal);
    EXPECT_EQ(dialColour(0), kDial);
    EXPECT_EQ(dialColour(3), QColor(Qt::black));  // not alarmed, not current: untouched
    EXPECT_EQ(label(FormLabel::Label3), QStringLiteral("earlier"));
    EXPECT_EQ(f.state.blinkPhase, 1);
}

TEST_P(Reset, alarmsOnTwoDialsThenAnotherReport_restoresAllThree) {
    raise("web01");
    raise("db01");
    AnalyseReport(f.context, QStringLiteral("mail01"), QStringLiteral("quiet"));
    ASSERT_EQ(f.state.currentServer, 3);
    ASSERT_EQ(dialColour(1), kDialAlarm);
    ASSERT_EQ(dialColour(2), kDialAlarm);
    Timer2_Timer(f.context);
    GetParam()(f.context);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(dialColour(i), kDial) << i;
    }
    for (bool alarmed : f.state.dialAlarmed) {
        EXPECT_FALSE(alarmed);
    }
    // a later alarm on one dial is again undone by the next reset alone
    raise("web01");
    GetParam()(f.context);
    EXPECT_EQ(dialColour(1), kDial);
}

TEST_P(Reset, missingDialPicture_bareDialsAndReportedNotFatal) {
    raise("web01");
    raise("db01");
    f.state.dialPicture = missingPath(QStringLiteral("dial.gif"));
    EXPECT_NO_THROW(GetParam()(f.context));
    EXPECT_TRUE(f.form.dial(1).picture.isNull());
    EXPECT_TRUE(f.form.dial(2).picture.isNull());
    EXPECT_EQ(dialColour(4), kDial);
    EXPECT_EQ(logLinesNaming(f.state.dialPicture), 1);
    EXPECT_FALSE(f.timer2.isActive());
}

INSTANTIATE_TEST_SUITE_P(MenuAndLabel, Reset,
                         ::testing::Values(&alarm_reset_Click, &Label10_Click));

enum class Broken { AlarmBackground, Background };

struct BrokenCase {
    const char* name;
    Broken which;
    const char* kind;  // "missing", "unreadable" or "empty"
    int blinkReports;  // lines per alarm while blinking
    int resetReports;  // lines per reset
};

class BrokenBackground : public Blink, public ::testing::WithParamInterface<BrokenCase> {};

TEST_P(BrokenBackground, alarm_blinksOnAndReportsOncePerAlarm) {
    const BrokenCase& c = GetParam();
    QString& path = c.which == Broken::AlarmBackground ? f.state.alarmBackgroundPicture
                                                       : f.state.backgroundPicture;
    const QString kind = QString::fromUtf8(c.kind);
    path = kind == u"missing"      ? missingPath(QStringLiteral("back.gif"))
           : kind == u"unreadable" ? writeGarbage(QStringLiteral("back.gif"))
                                   : QString();
    const bool brokenOnAlarmLook = c.which == Broken::AlarmBackground;
    for (int alarm = 1; alarm <= 2; ++alarm) {
        raise();
        for (int tick = 0; tick < 4; ++tick) {
            const bool alarmTick = f.state.blinkPhase == 1;
            EXPECT_NO_THROW(Timer2_Timer(f.context));
            EXPECT_EQ(alarmLook(), alarmTick);
            EXPECT_EQ(f.form.windowState(), WindowState::Maximised);
            if (alarmTick == brokenOnAlarmLook) {
                EXPECT_TRUE(f.form.backgroundPicture().isNull()) << tick;
            } else {
                EXPECT_EQ(backgroundPictureColour(), alarmTick ? kAlarmBack : kBack) << tick;
            }
        }
        EXPECT_EQ(f.beeper.beeps, 2 * alarm);
        if (!path.isEmpty()) {
            EXPECT_EQ(logLinesNaming(path), alarm * c.blinkReports + (alarm - 1) * c.resetReports);
        }
        alarm_reset_Click(f.context);
        EXPECT_FALSE(f.timer2.isActive());
    }
    if (path.isEmpty()) {
        EXPECT_TRUE(f.stream.problems().isEmpty());
    }
    EXPECT_TRUE(f.warnings.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Pictures, BrokenBackground,
    ::testing::Values(
        BrokenCase{"missingAlarmBackground", Broken::AlarmBackground, "missing", 1, 0},
        BrokenCase{"unreadableAlarmBackground", Broken::AlarmBackground, "unreadable", 1, 0},
        BrokenCase{"emptyAlarmBackground", Broken::AlarmBackground, "empty", 0, 0},
        BrokenCase{"missingBackground", Broken::Background, "missing", 1, 1},
        BrokenCase{"unreadableBackground", Broken::Background, "unreadable", 1, 1}),
    [](const auto& param) { return std::string(param.param.name); });

TEST_F(Blink, pictureBackDuringAlarm_laterFailureReportedAgain) {
    raise();
    const QString path = f.state.alarmBackgroundPicture;
    const QString aside = path + QStringLiteral(".aside");
    ASSERT_TRUE(QFile::rename(path, aside));
    Timer2_Timer(f.context);  // alarm look, fails
    Timer2_Timer(f.context);
    Timer2_Timer(f.context);  // fails again, already reported
    EXPECT_EQ(logLinesNaming(path), 1);
    ASSERT_TRUE(QFile::rename(aside, path));
    Timer2_Timer(f.context);
    Timer2_Timer(f.context);  // loads again
    EXPECT_EQ(backgroundPictureColour(), kAlarmBack);
    ASSERT_TRUE(QFile::remove(path));
    Timer2_Timer(f.context);
    Timer2_Timer(f.context);
    EXPECT_EQ(logLinesNaming(path), 2);
}

}  // namespace

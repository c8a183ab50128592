// The blinking alarm and its reset.
#include "AlarmFixture.h"

using namespace kervo;
using kervo::test::u8;

namespace {

using Blink = test::AlarmFixture;

TEST_F(Blink, ticks_alternateWithABeepEverySecondTickAndThePhaseOutlivesTheReset) {
    int forward = 0;  // each request brings the window forward
    QObject::connect(&f.window, &WindowModel::windowStateRequested, [&] { ++forward; });
    raise();
    EXPECT_TRUE(alarm.isBlinking());
    EXPECT_EQ(forward, 0) << "the blink starts with the next tick, not at the match";
    for (int i = 0; i < 5; ++i) {
        // the operator minimises the window once; the alarm takes it back
        if (i == 3) {
            f.window.noteWindowState(WindowState::Minimised);
        }
        tick();
        EXPECT_EQ(f.window.windowState(), WindowState::Maximised) << i;
        // when the alarm starts and after the minimise, never at every tick
        EXPECT_EQ(forward, i < 3 ? 1 : 2) << i;
        EXPECT_TRUE(f.window.resetAlarmVisible()) << i;
        EXPECT_EQ(f.window.backgroundColour(), i % 2 == 0 ? rgb(255, 0, 0) : rgb(255, 255, 255));
        EXPECT_EQ(backgroundPictureColour(), i % 2 == 0 ? kAlarmBack : kBack) << i;
        EXPECT_EQ(f.beeper.beeps, i / 2 + 1) << i;
    }
    // the reset restores the window and keeps the texts
    alarm.reset();
    EXPECT_FALSE(alarm.isBlinking());
    EXPECT_FALSE(f.window.resetAlarmVisible());
    EXPECT_EQ(f.window.backgroundColour(), rgb(255, 255, 255));
    EXPECT_EQ(backgroundPictureColour(), kBack);
    EXPECT_EQ(f.window.windowState(), WindowState::Normal);
    EXPECT_EQ(dialColour(1), kDial);
    EXPECT_EQ(f.window.alarmMessage(), u8("changed"));
    EXPECT_EQ(f.window.mailBodyText(), u8("changed\r\n/etc/passwd"));
    // after an odd number of ticks the next alarm begins calm, and without a beep
    raise("db01");
    tick();
    EXPECT_EQ(f.window.backgroundColour(), rgb(255, 255, 255));
    EXPECT_EQ(f.beeper.beeps, 3);
    tick();
    EXPECT_EQ(f.beeper.beeps, 4);
    EXPECT_TRUE(f.stream.problems().isEmpty());
}

TEST_F(Blink, alarmsOnTwoDialsThenAQuietReport_resetRestoresAllThreeAndNoOther) {
    QImage odd(95, 95, QImage::Format_RGB32);
    odd.fill(Qt::black);
    f.window.setDialPicture(5, odd);
    raise("web01");
    raise("db01");
    analysis.analyse(u8("mail01"), u8("quiet"));
    EXPECT_EQ(dialColour(1), kDialAlarm);
    EXPECT_EQ(dialColour(2), kDialAlarm);
    EXPECT_EQ(f.window.alarmSubject(), u8("db01"));
    f.window.setDialPicture(3, odd);
    tick();
    alarm.reset();
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(dialColour(i), kDial) << i;
    }
    EXPECT_EQ(dialColour(5), QColor(Qt::black));  // neither alarmed nor the last report's
    // the next reset, without the normal dial picture, bares the one dial alarmed since
    raise("db01");
    ASSERT_TRUE(QFile::remove(settings.dialPicture));
    alarm.reset();
    EXPECT_TRUE(f.window.dial(2).picture.isNull());
    EXPECT_EQ(dialColour(1), kDial);
    EXPECT_EQ(logLinesNaming(settings.dialPicture), 1);
}

TEST_F(Blink, pictureGoneDuringAlarm_blinkGoesOnAndIsToldOnceUntilItLoadsAgain) {
    raise();
    const QString path = settings.alarmBackgroundPicture;
    ASSERT_TRUE(QFile::rename(path, path + u8(".aside")));
    tick(5);  // the alarm look fails three times, told once
    EXPECT_EQ(f.window.backgroundColour(), rgb(255, 0, 0));
    EXPECT_EQ(backgroundPictureColour(), QColor());
    EXPECT_EQ(f.beeper.beeps, 3);
    EXPECT_EQ(logLinesNaming(path), 1);
    ASSERT_TRUE(QFile::rename(path + u8(".aside"), path));
    tick(2);
    EXPECT_EQ(backgroundPictureColour(), kAlarmBack);
    // replaced while the alarm blinks: the new picture is shown from the next blink on
    const QColor replaced(10, 200, 30);
    const QString next = f.writePicture(u8("next.png"), {60, 40}, replaced);
    ASSERT_TRUE(QFile::remove(path) && QFile::rename(next, path));
    tick(2);
    EXPECT_EQ(backgroundPictureColour(), replaced);
    ASSERT_TRUE(QFile::remove(path));
    tick(2);
    EXPECT_EQ(logLinesNaming(path), 2);
    EXPECT_TRUE(f.warnings.isEmpty());
}

}  // namespace

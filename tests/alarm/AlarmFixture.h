#pragma once

#include <gtest/gtest.h>

#include <QFile>

#include "alarm/Alarm.h"
#include "alarm/ReportAnalysis.h"
#include "app/Pictures.h"
#include "support/MonitorFixture.h"

namespace kervo::test {

inline QString u8(const char* text) {
    return QString::fromUtf8(text);
}

// A started monitor's alarm and analysis with four servers, two rules and the four pictures on
// disk in distinct colours, the dials showing their normal picture.
class AlarmFixture : public ::testing::Test {
  protected:
    AlarmFixture() {
        QImage face(95, 95, QImage::Format_RGB32);
        face.fill(kDial);
        for (int i = 0; i < kDialCount; ++i) {
            f.window.setDialPicture(i, face);
        }
    }

    void raise(const char* server = "web01") { analysis.analyse(u8(server), u8("/etc/passwd")); }
    void tick(int times = 1) {
        for (int i = 0; i < times; ++i) {
            alarm.onBlinkTick();
        }
    }
    static QColor colourOf(const QImage& picture) {
        return picture.isNull() ? QColor() : picture.pixelColor(0, 0);
    }
    QColor dialColour(int index) const { return colourOf(f.window.dial(index).picture); }
    QColor backgroundPictureColour() const { return colourOf(f.window.backgroundPicture()); }
    int logLinesNaming(const QString& path) const {
        return static_cast<int>(f.stream.lines().filter(path).size());
    }

    static inline const QColor kBack{0, 0, 160};
    static inline const QColor kAlarmBack{200, 0, 0};
    static inline const QColor kDial{128, 128, 128};
    static inline const QColor kDialAlarm{255, 128, 0};

    static Settings withPictures(const MonitorFixture& f) {
        Settings s = settingsWith({u8("default"), u8("web01"), u8("db01"), u8("mail01")});
        s.backgroundPicture = f.writePicture(u8("back.png"), {60, 40}, kBack);
        s.alarmBackgroundPicture = f.writePicture(u8("alarm back.png"), {60, 40}, kAlarmBack);
        s.dialPicture = f.writePicture(u8("dial.png"), {95, 95}, kDial);
        s.dialAlarmPicture = f.writePicture(u8("ダイアル警報.png"), {95, 95}, kDialAlarm);
        addRule(s, u8("web01"), u8("passwd"), u8("changed"));
        addRule(s, u8("db01"), u8("passwd"), u8("changed"));
        return s;
    }

    static Alarm::Pictures picturesOf(const Settings& s) {
        return {s.backgroundPicture, s.alarmBackgroundPicture, s.dialPicture, s.dialAlarmPicture};
    }

    MonitorFixture f;
    Settings settings = withPictures(f);
    PictureSource pictures{f.log};
    Alarm alarm{f.window, pictures, f.beeper, f.log, picturesOf(settings)};
    ReportAnalysis analysis{settings, f.window, f.clock, alarm};
};

}  // namespace kervo::test

#pragma once

#include <gtest/gtest.h>

#include "support/MonitorFixture.h"

namespace kervo::test {

inline QString u8(const char* text) {
    return QString::fromUtf8(text);
}

// A started monitor with four servers, the four pictures on disk in distinct colours and the
// dials showing their normal picture, as the settings would leave it.
class AlarmFixture : public ::testing::Test {
  protected:
    AlarmFixture() {
        f.state.backgroundPicture = f.writePicture(u8("back.png"), {60, 40}, kBack);
        f.state.alarmBackgroundPicture = f.writePicture(u8("alarm back.png"), {60, 40}, kAlarmBack);
        f.state.dialPicture = f.writePicture(u8("dial.png"), {95, 95}, kDial);
        f.state.dialAlarmPicture = f.writePicture(u8("ダイアル警報.png"), {95, 95}, kDialAlarm);
        f.setServers({u8("default"), u8("web01"), u8("db01"), u8("mail01")});
        QImage face(95, 95, QImage::Format_RGB32);
        face.fill(kDial);
        for (int i = 0; i < kDialCount; ++i) {
            f.form.setDialPicture(i, face);
        }
    }

    QString missingPath() const { return f.pictures.filePath(u8("gone/picture.gif")); }
    static QColor colourOf(const QImage& picture) {
        return picture.isNull() ? QColor() : picture.pixelColor(0, 0);
    }
    QColor dialColour(int index) const { return colourOf(f.form.dial(index).picture); }
    QColor backgroundPictureColour() const { return colourOf(f.form.backgroundPicture()); }
    int logLinesNaming(const QString& path) const {
        return static_cast<int>(f.stream.lines().filter(path).size());
    }

    static inline const QColor kBack{0, 0, 160};
    static inline const QColor kAlarmBack{200, 0, 0};
    static inline const QColor kDial{128, 128, 128};
    static inline const QColor kDialAlarm{255, 128, 0};

    MonitorFixture f;
};

}  // namespace kervo::test

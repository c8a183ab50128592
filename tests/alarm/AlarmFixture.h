#pragma once

#include <gtest/gtest.h>

#include <QFile>

#include "support/MonitorFixture.h"

namespace kervo::test {

// A started monitor with six servers, the four pictures on disk in distinct colours and the
// dials showing their normal picture, as the settings would leave it.
class AlarmFixture : public ::testing::Test {
  protected:
    AlarmFixture() {
        f.state.backgroundPicture = f.writePicture(QStringLiteral("back.png"), {60, 40}, kBack);
        f.state.alarmBackgroundPicture =
            f.writePicture(QStringLiteral("alarm back.png"), {60, 40}, kAlarmBack);
        f.state.dialPicture = f.writePicture(QStringLiteral("dial.png"), {95, 95}, kDial);
        f.state.dialAlarmPicture =
            f.writePicture(QStringLiteral("ダイアル警報.png"), {95, 95}, kDialAlarm);
        f.setServers({QStringLiteral("default"), QStringLiteral("web01"), QStringLiteral("db01"),
                      QStringLiteral("mail01"), QStringLiteral("dns01"),
                      QStringLiteral("proxy01")});
        QImage face(95, 95, QImage::Format_RGB32);
        face.fill(kDial);
        for (int i = 0; i <= f.state.serverCount; ++i) {
            f.form.setDialVisible(i, true);
            f.form.setDialPicture(i, face);
        }
    }

    // A file that exists but holds no picture.
    QString writeGarbage(const QString& name) const {
        const QString path = f.pictures.filePath(name);
        QFile file(path);
        if (file.open(QIODevice::WriteOnly)) {
            file.write("GIF89a but not really");
        }
        return path;
    }
    QString missingPath(const QString& name) const {
        return f.pictures.filePath(QStringLiteral("gone/") + name);
    }

    QColor dialColour(int index) const {
        const QImage& picture = f.form.dial(index).picture;
        return picture.isNull() ? QColor() : picture.pixelColor(0, 0);
    }
    QColor backgroundPictureColour() const {
        const QImage& picture = f.form.backgroundPicture();
        return picture.isNull() ? QColor() : picture.pixelColor(0, 0);
    }
    bool greenHandOn(int index) const { return imageHasColour(f.form.dial(index).hands, kGreen); }
    QString label(FormLabel which) const { return f.form.labelText(which); }
    int logLinesNaming(const QString& path) const {
        int n = 0;
        for (const QString& line : f.stream.lines()) {
            n += line.contains(path) ? 1 : 0;
        }
        return n;
    }

    static inline const QColor kBack{0, 0, 160};
    static inline const QColor kAlarmBack{200, 0, 0};
    static inline const QColor kDial{128, 128, 128};
    static inline const QColor kDialAlarm{255, 128, 0};
    static inline const QColor kGreen{0, 255, 0};

    MonitorFixture f;
};

}  // namespace kervo::test

// Renders the main window as it looks with the sample settings after most of an hour of polls,
// for the documentation and for checking the artwork by eye:
//
//     kervo_preview <samples folder> <output.png> [alarm]
//
// With "alarm" the window shows the alarm look of a blinking alarm instead.
#include <QApplication>
#include <QDir>
#include <cstdio>

#include "app/Pictures.h"
#include "app/Seams.h"
#include "app/WindowModel.h"
#include "dials/DialHands.h"
#include "ui/MainWindow.h"

namespace {

using kervo::WindowModel;

QImage picture(const QDir& samples, const char* name) {
    const kervo::Result<QImage> picture =
        kervo::loadPicture(samples.filePath(QString::fromLatin1(name)));
    if (!picture.ok()) {
        std::fprintf(stderr, "%s\n", qPrintable(picture.error().message));
        return QImage();
    }
    return picture.value();
}

// The hour the preview's polls happen in, one minute after another.
class PreviewClock final : public kervo::Clock {
  public:
    void setMinute(int minute) { now_ = QDateTime(QDate(2024, 5, 14), QTime(10, minute, 30)); }
    QDateTime now() const override { return now_; }

  private:
    QDateTime now_;
};

// A minute hand on dial index, drawn by the monitor's own code.
void hand(WindowModel& form, PreviewClock& clock, int index, int minute, kervo::Rgb colour) {
    clock.setMinute(minute);
    kervo::drawMinuteHand(form, clock, index, colour);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s <samples folder> <output.png> [alarm]\n", argv[0]);
        return 2;
    }
    const QDir samples(QString::fromLocal8Bit(argv[1]));
    const QString output = QString::fromLocal8Bit(argv[2]);
    const bool alarm = argc > 3 && qstrcmp(argv[3], "alarm") == 0;

    WindowModel form;
    kervo::MainWindow window(form);

    const QImage dial = picture(samples, "img/dial.bmp");
    const QImage dialAlarm = picture(samples, "img/dialalarm.gif");
    form.setBackgroundPicture(picture(samples, alarm ? "img/backalarm.gif" : "img/back.png"));
    if (alarm) {
        form.setBackgroundColour(kervo::rgb(255, 0, 0));
        form.setResetAlarmVisible(true);
    }
    const QStringList names = {QStringLiteral("web01"), QStringLiteral("db01"),
                               QStringLiteral("mail01"), QStringLiteral("gw01")};
    for (int i = 0; i < kervo::kDialCount; ++i) {
        form.setDialPicture(i, dial);
        form.setDialVisible(i, i < names.size());
        if (i < names.size()) {
            form.setDialCaption(i, names.at(i));
        }
    }
    if (alarm) {
        form.setDialPicture(1, dialAlarm);
    }

    const kervo::Rgb grey = kervo::rgb(90, 90, 90);
    const kervo::Rgb green = kervo::rgb(0, 255, 0);
    PreviewClock clock;
    for (int minute = 2; minute <= 47; ++minute) {
        for (int i = 0; i < names.size(); ++i) {
            hand(form, clock, i, minute, grey);
        }
        if (minute % 15 == 4) {
            hand(form, clock, 0, minute, green);
        }
        if (minute % 20 == 9 || minute == 47) {
            hand(form, clock, 1, minute, green);
        }
        if (minute == 30) {
            hand(form, clock, 3, minute, green);
        }
    }

    form.setClock(QStringLiteral("2024/05/14 10:47:30"));
    form.setAlarmSubject(QStringLiteral("db01 integrity check report"));
    form.setAlarmMessage(QStringLiteral("ファイルの改ざんを検知しました。至急確認してください"));
    form.setAlarmReport(
        QStringLiteral("Integrity check on db01 found 2 changes:\r\n"
                       "changed: /etc/passwd (size 1843 -> 1877, mtime 10:46)\r\n"
                       "changed: /usr/sbin/sshd (sha256 differs)\r\n"
                       "Run time 00:01:12"));

    window.show();
    QApplication::processEvents();
    // The offscreen platform cannot cut the window to its shape, so the picture is cut here.
    QImage shot = window.grab().toImage().convertToFormat(QImage::Format_ARGB32);
    const QRegion shape = kervo::MainWindow::windowShape();
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            if (!shape.contains(QPoint(x, y))) {
                shot.setPixelColor(x, y, Qt::transparent);
            }
        }
    }
    if (!shot.save(output)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(output));
        return 1;
    }
    std::printf("%s\n", qPrintable(output));
    return 0;
}

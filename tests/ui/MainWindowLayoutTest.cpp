// The main window's shape, and how its controls mirror the model.
#include <gtest/gtest.h>

#include <QFontInfo>

#include "UiTestSupport.h"
#include "app/ScreenTexts.h"
#include "app/WindowModel.h"
#include "ui/MainWindow.h"
#include "ui/TextBox.h"

using namespace kervo;
using namespace Qt::StringLiterals;
using kervo::test::control;

namespace {

TEST(MainWindowShape, roundedRectangle_cornersCutEdgesKeptAndWindowMasked) {
    const QRegion shape = MainWindow::windowShape();
    EXPECT_EQ(shape.boundingRect(), QRect(0, 0, 678, 519));
    const std::pair<QPoint, bool> probes[] = {
        {{0, 0}, false},    {{5, 5}, false}, {{672, 513}, false}, {{12, 12}, true},
        {{665, 506}, true}, {{24, 0}, true}, {{0, 24}, true},     {{339, 518}, true}};
    for (const auto& [at, inside] : probes) {
        EXPECT_EQ(shape.contains(at), inside) << at.x() << "," << at.y();
    }
    WindowModel model;
    MainWindow window(model);
    EXPECT_EQ(window.mask(), shape);
}

TEST(MainWindowModel, modelChanges_mirroredByTheControls) {
    WindowModel model;
    MainWindow window(model);
    window.show();
    auto* reset = control<TextBox>(window, u"resetAlarmButton"_s);
    EXPECT_FALSE(reset->isVisible());
    EXPECT_EQ(reset->text(), u"Reset Alarm"_s);
    EXPECT_EQ(control<TextBox>(window, u"statusNotice"_s)->text(), screen::noticeWhenWell());
    const std::pair<void (WindowModel::*)(const QString&), QString> texts[] = {
        {&WindowModel::setAlarmSubject, u"alarmSubject"_s},
        {&WindowModel::setAlarmReport, u"alarmReport"_s},
        {&WindowModel::setAlarmMessage, u"alarmMessage"_s},
        {&WindowModel::setClock, u"clock"_s},
        {&WindowModel::setStatusNotice, u"statusNotice"_s}};
    for (const auto& [set, name] : texts) {
        (model.*set)(name + u"\r\nmore"_s);
        EXPECT_EQ(control<TextBox>(window, name)->text(), name + u"\r\nmore"_s);
    }
    model.setDialVisible(4, true);
    model.setDialCaption(4, u"db01"_s);
    model.setResetAlarmVisible(true);
    EXPECT_TRUE(control(window, u"dial4"_s)->isVisible());
    EXPECT_FALSE(control(window, u"dial5"_s)->isVisible());
    EXPECT_TRUE(control(window, u"dialCaption5"_s)->isVisible());  // a caption without a server
    EXPECT_EQ(control<TextBox>(window, u"dialCaption4"_s)->text(), u"db01"_s);
    EXPECT_TRUE(reset->isVisible());
    EXPECT_EQ(window.windowTitle(), screen::windowTitle());
    // the Japanese faces the window asks for are drawn by an installed Japanese face
    EXPECT_EQ(QFontInfo(control(window, u"alarmSubject"_s)->font()).family(), u"IPAPGothic"_s);
}

QImage solid(int w, int h, const QColor& colour) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

TEST(MainWindowModel, painting_backgroundPictureThenColourAndDialHandsFromTheModel) {
    WindowModel model;
    MainWindow window(model);
    model.setBackgroundPicture(solid(100, 60, Qt::blue));
    model.setBackgroundColour(rgb(255, 0, 0));
    model.setDialPicture(2, solid(95, 95, Qt::white));
    model.setDialVisible(2, true);
    // a hand along dial 2's middle row, from the left rim to the centre
    model.drawDialLine(2, QPointF(0, 48.5), QPointF(48.5, 48.5), rgb(0, 255, 0));
    const QImage shot = window.grab().toImage();
    EXPECT_EQ(shot.pixelColor(10, 20), QColor(Qt::blue));
    EXPECT_EQ(shot.pixelColor(8, 70), QColor(Qt::red));  // on no control
    EXPECT_EQ(shot.pixelColor(300, 30), QColor(Qt::red));
    const QPoint dial(240, 120);  // the dial's top-left corner
    EXPECT_EQ(shot.pixelColor(dial + QPoint(20, 48)), QColor(0, 255, 0));
    EXPECT_EQ(shot.pixelColor(dial + QPoint(20, 20)), QColor(Qt::white));
    EXPECT_EQ(shot.pixelColor(dial + QPoint(80, 48)), QColor(Qt::white));
}

}  // namespace

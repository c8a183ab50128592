// The main window mirrors its model: labels, dials, background and built-in pictures.
#include <gtest/gtest.h>

#include "UiTestSupport.h"
#include "app/FormModel.h"
#include "ui/MainWindow.h"
#include "ui/PictureBox.h"
#include "ui/TextBox.h"

using namespace kervo;
using kervo::test::control;

namespace {

QImage solid(int w, int h, const QColor& colour) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

TEST(MainWindowModel, labelTexts_followTheModel) {
    FormModel model;
    MainWindow window(model);
    const std::pair<FormLabel, const char*> labels[] = {{FormLabel::Label1, "Label1"},
                                                        {FormLabel::Label2, "Label2"},
                                                        {FormLabel::Label3, "Label3"},
                                                        {FormLabel::Label4, "Label4"},
                                                        {FormLabel::Label11, "Label11"}};
    for (const auto& [label, name] : labels) {
        const QString text =
            QStringLiteral("text of %1\r\nsecond line").arg(QString::fromLatin1(name));
        model.setLabelText(label, text);
        EXPECT_EQ(control<TextBox>(window, QString::fromLatin1(name))->text(), text) << name;
    }
}

TEST(MainWindowModel, dials_shownAndCaptionedByTheModel) {
    FormModel model;
    MainWindow window(model);
    window.show();
    model.setDialVisible(4, true);
    model.setDialCaption(4, QStringLiteral("db01"));
    EXPECT_TRUE(control(window, QStringLiteral("Picture1_4"))->isVisible());
    EXPECT_EQ(control<TextBox>(window, QStringLiteral("Label5_4"))->text(), QStringLiteral("db01"));
    EXPECT_FALSE(control(window, QStringLiteral("Picture1_5"))->isVisible());
    model.setDialVisible(4, false);
    EXPECT_FALSE(control(window, QStringLiteral("Picture1_4"))->isVisible());
    EXPECT_TRUE(control(window, QStringLiteral("Label5_4"))->isVisible());
}

TEST(MainWindowModel, resetLabel_visibilityFollowsTheModel) {
    FormModel model;
    MainWindow window(model);
    window.show();
    model.setResetLabelVisible(true);
    EXPECT_TRUE(control(window, QStringLiteral("Label10"))->isVisible());
    model.setResetLabelVisible(false);
    EXPECT_FALSE(control(window, QStringLiteral("Label10"))->isVisible());
}

TEST(MainWindowModel, builtinPictures_adoptedWhereTheModelHasNone) {
    FormModel model;
    const QImage mine = solid(95, 95, Qt::magenta);
    model.setDialPicture(7, mine);
    MainWindow window(model);
    EXPECT_EQ(model.backgroundPicture().size(), QSize(678, 522));
    for (int i = 0; i < kDialCount; ++i) {
        EXPECT_EQ(model.dial(i).picture.size(), QSize(95, 95)) << i;
    }
    EXPECT_EQ(model.dial(7).picture, mine);
    EXPECT_NE(model.dial(6).picture, mine);
}

TEST(MainWindowModel, background_colourWherePictureEnds) {
    FormModel model;
    MainWindow window(model);
    model.setBackgroundPicture(solid(100, 60, Qt::blue));
    model.setBackgroundColour(rgb(255, 0, 0));
    const QImage shot = window.grab().toImage();
    // (8, 70) and (300, 30) lie on no control
    EXPECT_EQ(shot.pixelColor(10, 20), QColor(Qt::blue));
    EXPECT_EQ(shot.pixelColor(8, 70), QColor(Qt::red));
    EXPECT_EQ(shot.pixelColor(300, 30), QColor(Qt::red));
    model.setBackgroundPicture(QImage());
    EXPECT_EQ(window.grab().toImage().pixelColor(10, 20), QColor(Qt::red));
}

TEST(MainWindowModel, dialWidget_showsPictureAndHandsDrawnInTheModel) {
    FormModel model;
    MainWindow window(model);
    model.setDialPicture(2, solid(95, 95, Qt::white));
    model.setDialVisible(2, true);
    auto* dial = control<PictureBox>(window, QStringLiteral("Picture1_2"));
    EXPECT_EQ(dial->grab().toImage().pixelColor(20, 48), QColor(Qt::white));
    // a hand along the middle row, from the left rim to the centre
    model.drawDialLine(2, QPointF(0, 727.5), QPointF(727.5, 727.5), rgb(0, 255, 0));
    const QImage shot = dial->grab().toImage();
    EXPECT_EQ(shot.pixelColor(20, 48), QColor(0, 255, 0));
    EXPECT_EQ(shot.pixelColor(20, 20), QColor(Qt::white));
    EXPECT_EQ(shot.pixelColor(80, 48), QColor(Qt::white));
    model.clearDial(2);
    EXPECT_EQ(dial->grab().toImage().pixelColor(20, 48), QColor(Qt::white));
}

TEST(MainWindowModel, picture2_fixedPictureCutToItsBox) {
    FormModel model;
    MainWindow window(model);
    auto* box = control<PictureBox>(window, QStringLiteral("Picture2"));
    EXPECT_EQ(box->image().size(), QSize(32, 32));
    EXPECT_EQ(box->size(), QSize(32, 25));
}

}  // namespace

// The main window's controls against the design table (boxes in twips, 15 to a pixel), its
// shape, and how its controls mirror the model.
#include <gtest/gtest.h>

#include <QFontInfo>

#include "UiTestSupport.h"
#include "app/FormModel.h"
#include "ui/MainWindow.h"
#include "ui/TextBox.h"

using namespace kervo;
using namespace Qt::StringLiterals;
using kervo::test::control;

namespace {

struct ControlCase {
    QString name;
    QRect twips;
    QString face;  // empty for a picture box
    qreal points;
    bool italic;
};

std::vector<ControlCase> designTable() {
    const QString heavy = u"Arial Black"_s;
    const QString gothic = u"ＭＳ Ｐゴシック"_s;
    std::vector<ControlCase> rows = {
        {u"Picture2"_s, {360, 480, 480, 375}, {}, 0, false},
        {u"Label7"_s, {840, 120, 4935, 375}, heavy, 9.75, true},
        {u"Label4"_s, {1080, 600, 2535, 255}, heavy, 9.75, false},
        {u"Label10"_s, {7800, 120, 1455, 255}, heavy, 9, true},
        {u"Label8"_s, {9360, 120, 255, 255}, heavy, 9, true},
        {u"Label9"_s, {9720, 120, 255, 255}, heavy, 9, true},
        {u"Label1"_s, {720, 5640, 8175, 375}, gothic, 9, false},
        {u"Label3"_s, {720, 6120, 8655, 375}, gothic, 9, false},
        {u"Label2"_s, {720, 6480, 8895, 735}, gothic, 9, false},
        {u"Label6"_s, {3240, 7440, 3855, 255}, gothic, 9, false},
        {u"Label11"_s, {8520, 7440, 1455, 255}, heavy, 9, true},
    };
    // two rows of six dials, each with its name box above it
    const int lefts[] = {480, 2040, 3600, 5160, 6720, 8280};
    for (int i = 0; i < kDialCount; ++i) {
        const int left = lefts[i % 6];
        const int top = i < 6 ? 1440 : 3360;
        rows.push_back(
            {u"Label5_%1"_s.arg(i), {left, top, 1455, 255}, u"ＭＳ ゴシック"_s, 9, false});
        rows.push_back({u"Picture1_%1"_s.arg(i), {left, top + 360, 1455, 1455}, {}, 0, false});
    }
    return rows;
}

TEST(MainWindowLayout, everyControl_boxAndFaceFromTheDesignTable) {
    FormModel model;
    MainWindow window(model);
    for (const ControlCase& c : designTable()) {
        SCOPED_TRACE(c.name.toStdString());
        const QWidget* widget = control(window, c.name);
        const QRect& t = c.twips;
        EXPECT_EQ(widget->geometry(),
                  QRect(t.x() / 15, t.y() / 15, t.width() / 15, t.height() / 15));
        if (!c.face.isEmpty()) {
            EXPECT_EQ(widget->font().family(), c.face);
            EXPECT_DOUBLE_EQ(widget->font().pointSizeF(), c.points);
            EXPECT_EQ(widget->font().italic(), c.italic);
        }
    }
    EXPECT_EQ(window.windowTitle(), u"サーバ監視システム （改ざん　侵入検査） V1.3"_s);
    EXPECT_EQ(window.size(), QSize(680, 520));
    EXPECT_TRUE(window.windowFlags() & Qt::FramelessWindowHint);
    // the design faces are drawn by an installed Japanese face
    EXPECT_EQ(QFontInfo(control(window, u"Label1"_s)->font()).family(), u"IPAPGothic"_s);
}

TEST(MainWindowShape, roundedRectangle_cornersCutEdgesKeptAndWindowMasked) {
    const QRegion shape = MainWindow::windowShape();
    EXPECT_EQ(shape.boundingRect(), QRect(0, 0, 678, 519));
    const std::pair<QPoint, bool> probes[] = {
        {{0, 0}, false},    {{5, 5}, false}, {{672, 513}, false}, {{12, 12}, true},
        {{665, 506}, true}, {{24, 0}, true}, {{0, 24}, true},     {{339, 518}, true}};
    for (const auto& [at, inside] : probes) {
        EXPECT_EQ(shape.contains(at), inside) << at.x() << "," << at.y();
    }
    FormModel model;
    MainWindow window(model);
    EXPECT_EQ(window.mask(), shape);
}

TEST(MainWindowModel, modelChanges_mirroredByTheControls) {
    FormModel model;
    MainWindow window(model);
    window.show();
    auto* reset = control<TextBox>(window, u"Label10"_s);
    EXPECT_FALSE(reset->isVisible());
    EXPECT_EQ(reset->text(), u"Reset Alarm"_s);
    const char* names[] = {"Label1", "Label2", "Label3", "Label4", "Label11"};  // FormLabel order
    for (int i = 0; i < 5; ++i) {
        const QString name = QString::fromLatin1(names[i]);
        model.setLabelText(static_cast<FormLabel>(i), name + u"\r\nmore"_s);
        EXPECT_EQ(control<TextBox>(window, name)->text(), name + u"\r\nmore"_s);
    }
    model.setDialVisible(4, true);
    model.setDialCaption(4, u"db01"_s);
    model.setResetLabelVisible(true);
    EXPECT_TRUE(control(window, u"Picture1_4"_s)->isVisible());
    EXPECT_FALSE(control(window, u"Picture1_5"_s)->isVisible());
    EXPECT_TRUE(control(window, u"Label5_5"_s)->isVisible());  // a name box without a server
    EXPECT_EQ(control<TextBox>(window, u"Label5_4"_s)->text(), u"db01"_s);
    EXPECT_TRUE(reset->isVisible());
}

QImage solid(int w, int h, const QColor& colour) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(colour);
    return image;
}

TEST(MainWindowModel, painting_backgroundPictureThenColourAndDialHandsFromTheModel) {
    FormModel model;
    MainWindow window(model);
    model.setBackgroundPicture(solid(100, 60, Qt::blue));
    model.setBackgroundColour(rgb(255, 0, 0));
    model.setDialPicture(2, solid(95, 95, Qt::white));
    model.setDialVisible(2, true);
    // a hand along dial 2's middle row, from the left rim to the centre
    model.drawDialLine(2, QPointF(0, 727.5), QPointF(727.5, 727.5), rgb(0, 255, 0));
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

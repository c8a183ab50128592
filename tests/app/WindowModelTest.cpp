#include <gtest/gtest.h>

#include "app/WindowModel.h"

using namespace kervo;

namespace {

TEST(WindowModel, texts_controlCharactersAndInvisibleMarksMadeVisibleAndLongOnesCut) {
    const std::pair<QString, QString> cases[] = {
        {QString::fromUtf16(u"a\x1b[31mb\r\n\tc&d"), QString::fromUtf16(u"a\u241b[31mb\r\n\tc&d")},
        {QString::fromUtf16(u"\u202a\u202b\u202c\u202d\u202e|\u2066\u2067\u2068\u2069"),
         QString::fromUtf16(
             uR"(\u{202a}\u{202b}\u{202c}\u{202d}\u{202e}|\u{2066}\u{2067}\u{2068}\u{2069})")},
        {QString::fromUtf16(u"x\u200ey\u200fz\u061c\ufeffend"),
         QString::fromUtf16(uR"(x\u{200e}y\u{200f}z\u{61c}\u{feff}end)")},
        // far more than any box shows is kept, and no more
        {QString(3'000'000, u'x'), QString(WindowModel::kShownTextLimit, u'x')},
    };
    for (const auto& [text, shown] : cases) {
        WindowModel window;
        window.setAlarmReport(text);
        window.setMailBodyText(text);
        EXPECT_EQ(window.alarmReport(), shown);
        EXPECT_EQ(window.mailBodyText(), shown);
    }
}

TEST(WindowModel, clearDial_keepsPictureWipesHandsAndIgnoresDialsThatDoNotExist) {
    WindowModel window;
    QImage face(95, 95, QImage::Format_RGB32);
    face.fill(Qt::blue);
    window.setDialPicture(3, face);
    window.drawDialLine(3, QPointF(0, 0), QPointF(97, 97), rgb(255, 0, 0));
    EXPECT_EQ(window.renderDial(3).pixelColor(50, 50), QColor(Qt::red));
    window.clearDial(3);
    EXPECT_EQ(window.renderDial(3).pixelColor(50, 50), QColor(Qt::blue));
    // outside the 95 px picture the dial's own background shows
    EXPECT_EQ(window.renderDial(3).pixelColor(96, 96), QColor(Qt::white));
    window.clearDial(12);
    window.setDialVisible(-1, true);
    EXPECT_FALSE(window.dial(12).visible);
}

}  // namespace

// How a label draws its text: literally, line by line, wrapped, inside its box.
#include <gtest/gtest.h>

#include "ui/Fonts.h"
#include "ui/TextBox.h"

using namespace kervo;
using namespace Qt::StringLiterals;

namespace {

// The box around every pixel the label drew over a white background; empty when none.
QRect inkOf(TextBox& box) {
    QImage image(box.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    box.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    QRect bounds;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y) != Qt::white) {
                bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return bounds;
}

QRect inkOf(const QString& text, int width = 300) {
    installFontSubstitutions();
    TextBox box;
    box.setFont(designFont(proportionalGothicFace(), 9, 400));
    box.resize(width, 60);
    box.setTextColour(Qt::black);
    box.setText(text);
    return inkOf(box);
}

TEST(TextBox, lineEnds_eachKindStartsOneLine) {
    const QRect one = inkOf(u"ABC"_s);
    const QRect two = inkOf(u"ABC\nABC"_s);
    EXPECT_GT(two.height(), one.height() * 2 - 2);
    EXPECT_EQ(two.width(), one.width());
    EXPECT_EQ(inkOf(u"ABC\r\nABC"_s), two);
    EXPECT_EQ(inkOf(u"ABC\rABC"_s), two);
}

TEST(TextBox, ampersand_drawnLiterally) {
    const QRect one = inkOf(u"&"_s);
    ASSERT_FALSE(one.isEmpty());
    EXPECT_GT(inkOf(u"&&"_s).width(), one.width() + 3);
    // no mnemonic underline under the letter after an ampersand
    EXPECT_EQ(inkOf(u"&x"_s).bottom(), inkOf(u"&&x"_s).bottom());
}

}  // namespace

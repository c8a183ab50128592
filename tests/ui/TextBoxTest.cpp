// How a label draws its text: literally, line by line, wrapped, inside its box.
#include <gtest/gtest.h>

#include "UiTestSupport.h"
#include "ui/Fonts.h"
#include "ui/TextBox.h"

using namespace kervo;
using kervo::test::inkBounds;
using kervo::test::renderOn;

namespace {

QRect inkOf(const QString& text, QSize size = QSize(300, 60)) {
    installFontSubstitutions();
    TextBox box;
    box.setFont(designFont(proportionalGothicFace(), 9, 400));
    box.resize(size);
    box.setTextColour(Qt::black);
    box.setText(text);
    return inkBounds(renderOn(box, Qt::white), Qt::white);
}

TEST(TextBox, lineEnds_eachKindStartsOneLine) {
    const QChar sep = QChar::LineSeparator;
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("a\r\nb"), QStringLiteral("a") + sep + u'b'},
        {QStringLiteral("a\rb"), QStringLiteral("a") + sep + u'b'},
        {QStringLiteral("a\nb"), QStringLiteral("a") + sep + u'b'},
        {QStringLiteral("a\r\n\r\nb"), QStringLiteral("a") + sep + sep + u'b'},
        {QStringLiteral("\r\n"), QString(sep)},
        {QStringLiteral("a&b"), QStringLiteral("a&b")},
    };
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(TextBox::withLineSeparators(in), out) << in.toStdString();
    }
}

TEST(TextBox, ampersand_drawnLiterally) {
    const QRect one = inkOf(QStringLiteral("&"));
    const QRect two = inkOf(QStringLiteral("&&"));
    ASSERT_FALSE(one.isEmpty());
    EXPECT_GT(two.width(), one.width() + 3);
    // no mnemonic underline under the letter after an ampersand
    EXPECT_EQ(inkOf(QStringLiteral("&x")).bottom(), inkOf(QStringLiteral("&&x")).bottom());
}

TEST(TextBox, crlf_startsNewLine) {
    const QRect single = inkOf(QStringLiteral("ABC"));
    const QRect twoLines = inkOf(QStringLiteral("ABC\r\nABC"));
    EXPECT_GT(twoLines.height(), single.height() * 2 - 2);
    EXPECT_EQ(twoLines.width(), single.width());
}

TEST(TextBox, longText_wrapsAtWordsWithinWidth) {
    const QString words = QStringLiteral("alpha beta gamma delta epsilon zeta eta theta iota");
    const QRect wide = inkOf(words, QSize(600, 60));
    const QRect narrow = inkOf(words, QSize(120, 60));
    EXPECT_LT(narrow.right(), 120);
    EXPECT_GT(narrow.height(), wide.height() * 2);
    // a single word wider than the box is broken, not lost past the edge
    const QRect longWord = inkOf(QStringLiteral("x").repeated(80), QSize(120, 60));
    EXPECT_LT(longWord.right(), 120);
    EXPECT_GT(longWord.height(), inkOf(QStringLiteral("x")).height());
}

TEST(TextBox, opaqueAndTransparent_backgroundOnlyWhenOpaque) {
    TextBox box;
    box.resize(40, 20);
    EXPECT_TRUE(inkBounds(renderOn(box, Qt::blue), Qt::blue).isEmpty());
    box.setOpaque(Qt::white);
    EXPECT_EQ(renderOn(box, Qt::blue).pixelColor(20, 10), QColor(Qt::white));
}

}  // namespace

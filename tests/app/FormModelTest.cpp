#include <gtest/gtest.h>

#include "app/FormModel.h"

using namespace kervo;

namespace {

TEST(FormModel, labelText_controlCharactersAndInvisibleMarksMadeVisible) {
    const std::pair<const char16_t*, const char16_t*> cases[] = {
        {u"a\x1b[31mb\r\n\tc&d", u"a\u241b[31mb\r\n\tc&d"},
        {u"\u202a\u202b\u202c\u202d\u202e|\u2066\u2067\u2068\u2069",
         uR"(\u{202a}\u{202b}\u{202c}\u{202d}\u{202e}|\u{2066}\u{2067}\u{2068}\u{2069})"},
        {u"x\u200ey\u200fz\u061c\ufeffend", uR"(x\u{200e}y\u{200f}z\u{61c}\u{feff}end)"},
    };
    for (const auto& [text, shown] : cases) {
        FormModel form;
        form.setLabelText(FormLabel::Label1, QString::fromUtf16(text));
        EXPECT_EQ(form.labelText(FormLabel::Label1), QString::fromUtf16(shown));
    }
}

TEST(FormModel, mailBody_lifecycleFollowsTheOperator) {
    FormModel form;
    EXPECT_EQ(form.mailBodyPresence(), MailBodyPresence::Absent);
    form.setMailBodyText(QStringLiteral("msg\r\nbody"));
    EXPECT_EQ(form.mailBodyPresence(), MailBodyPresence::Hidden);
    form.showMailBody();
    EXPECT_EQ(form.mailBodyPresence(), MailBodyPresence::Shown);
    EXPECT_EQ(form.mailBodyText(), QStringLiteral("msg\r\nbody"));
    form.closeMailBody();
    form.showMailBody();
    EXPECT_TRUE(form.mailBodyText().isEmpty());
}

TEST(FormModel, clearDial_keepsPictureWipesHands) {
    FormModel form;
    QImage face(95, 95, QImage::Format_RGB32);
    face.fill(Qt::blue);
    form.setDialPicture(3, face);
    form.drawDialLine(3, QPointF(0, 0), QPointF(1455, 1455), rgb(255, 0, 0));
    EXPECT_EQ(form.renderDial(3).pixelColor(50, 50), QColor(Qt::red));
    form.clearDial(3);
    EXPECT_EQ(form.renderDial(3).pixelColor(50, 50), QColor(Qt::blue));
    // outside the 95 px picture the dial's own background shows
    EXPECT_EQ(form.renderDial(3).pixelColor(96, 96), QColor(Qt::white));
}

TEST(FormModel, dialIndexOutOfRange_throwsInsteadOfCorrupting) {
    FormModel form;
    EXPECT_THROW(form.clearDial(12), std::out_of_range);
    EXPECT_THROW(form.setDialVisible(-1, true), std::out_of_range);
}

}  // namespace

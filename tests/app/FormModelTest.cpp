#include <gtest/gtest.h>

#include "app/FormModel.h"

using namespace kervo;

namespace {

TEST(FormModel, labelText_controlCharactersMadeVisible) {
    FormModel form;
    form.setLabelText(FormLabel::Label1, QStringLiteral("a\x1b[31mb\r\n\tc&d"));
    EXPECT_EQ(form.labelText(FormLabel::Label1), QStringLiteral("a\u241b[31mb\r\n\tc&d"));
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

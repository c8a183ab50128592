// The mail-body window: its layout, and its life as the main window keeps it in step with the
// model.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include "UiTestSupport.h"
#include "app/FormModel.h"
#include "ui/MailBodyWindow.h"
#include "ui/MainWindow.h"
#include "ui/TextBox.h"

using namespace kervo;
using kervo::test::control;

namespace {

int mailBodyWindowCount() {
    int count = 0;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (qobject_cast<MailBodyWindow*>(w) != nullptr) {
            ++count;
        }
    }
    return count;
}

TEST(MailBodyWindow, layout_titleSizeButtonAndLabel) {
    MailBodyWindow window;
    EXPECT_EQ(window.windowTitle(), QStringLiteral("BODY of mail"));
    EXPECT_EQ(window.size(), QSize(624, 670));
    EXPECT_EQ(window.parentWidget(), nullptr);
    EXPECT_FALSE(window.windowFlags() & Qt::FramelessWindowHint);
    auto* button = control<QPushButton>(window, QStringLiteral("Command1"));
    EXPECT_EQ(button->geometry(), QRect(0, 0, 625, 25));
    EXPECT_EQ(button->text(), QStringLiteral("戻\u3000\u3000\u3000る"));
    EXPECT_EQ(button->font().family(), QStringLiteral("ＭＳ ゴシック"));
    EXPECT_DOUBLE_EQ(button->font().pointSizeF(), 9.75);
    EXPECT_EQ(button->palette().color(QPalette::Button), QColor(Qt::white));
    auto* label = control<TextBox>(window, QStringLiteral("Label1"));
    EXPECT_EQ(label->geometry(), QRect(8, 40, 609, 625));
    EXPECT_TRUE(label->isOpaque());
    EXPECT_TRUE(label->text().isEmpty());
}

class MailBodyLifecycle : public ::testing::Test {
  protected:
    FormModel model;
    MainWindow main{model};
};

TEST_F(MailBodyLifecycle, textWrittenFirst_windowCreatedHidden) {
    EXPECT_EQ(main.mailBodyWindow(), nullptr);
    model.setMailBodyText(QStringLiteral("message\r\nbody"));
    ASSERT_NE(main.mailBodyWindow(), nullptr);
    EXPECT_FALSE(main.mailBodyWindow()->isVisible());
    EXPECT_EQ(main.mailBodyWindow()->text(), QStringLiteral("message\r\nbody"));
    model.showMailBody();
    EXPECT_TRUE(main.mailBodyWindow()->isVisible());
    EXPECT_EQ(main.mailBodyWindow()->text(), QStringLiteral("message\r\nbody"));
}

TEST_F(MailBodyLifecycle, shownTwice_oneWindowOnly) {
    model.showMailBody();
    MailBodyWindow* first = main.mailBodyWindow();
    ASSERT_NE(first, nullptr);
    model.showMailBody();
    model.setMailBodyText(QStringLiteral("newer"));
    EXPECT_EQ(main.mailBodyWindow(), first);
    EXPECT_EQ(first->text(), QStringLiteral("newer"));
    EXPECT_EQ(mailBodyWindowCount(), 1);
}

TEST_F(MailBodyLifecycle, operatorCloses_windowAndTextDiscarded) {
    model.setMailBodyText(QStringLiteral("old alarm"));
    model.showMailBody();
    QPointer<MailBodyWindow> window = main.mailBodyWindow();
    window->close();
    EXPECT_EQ(model.mailBodyPresence(), MailBodyPresence::Absent);
    EXPECT_EQ(main.mailBodyWindow(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());

    model.showMailBody();
    ASSERT_NE(main.mailBodyWindow(), nullptr);
    EXPECT_TRUE(main.mailBodyWindow()->text().isEmpty());
}

TEST_F(MailBodyLifecycle, returnButton_changesNothing) {
    model.setMailBodyText(QStringLiteral("kept"));
    model.showMailBody();
    MailBodyWindow* window = main.mailBodyWindow();
    QTest::mouseClick(control<QPushButton>(*window, QStringLiteral("Command1")), Qt::LeftButton);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->text(), QStringLiteral("kept"));
    EXPECT_EQ(model.mailBodyPresence(), MailBodyPresence::Shown);
}

TEST(MailBodyOwnership, mainWindowGone_mailBodyGoesWithIt) {
    FormModel model;
    QPointer<MailBodyWindow> window;
    {
        MainWindow main(model);
        model.showMailBody();
        window = main.mailBodyWindow();
        ASSERT_FALSE(window.isNull());
    }
    EXPECT_TRUE(window.isNull());
}

}  // namespace

// The mail-body window: its layout, and its life as the main window keeps it in step with the
// model.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include "UiTestSupport.h"
#include "app/WindowModel.h"
#include "ui/MailBodyWindow.h"
#include "ui/MainWindow.h"

using namespace kervo;
using namespace Qt::StringLiterals;
using kervo::test::control;

namespace {

struct MailBodyLifecycle : ::testing::Test {
    WindowModel model;
    std::unique_ptr<MainWindow> main = std::make_unique<MainWindow>(model);
};

TEST_F(MailBodyLifecycle,
       textWrittenThenShownTwice_oneDesignedWindowCreatedHiddenShowingTheLatest) {
    EXPECT_EQ(main->mailBodyWindow(), nullptr);
    model.setMailBodyText(u"message\r\nbody"_s);
    MailBodyWindow* window = main->mailBodyWindow();
    ASSERT_NE(window, nullptr);
    EXPECT_FALSE(window->isVisible());
    model.showMailBody();
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->text(), u"message\r\nbody"_s);
    model.showMailBody();
    model.setMailBodyText(u"newer"_s);
    EXPECT_EQ(main->mailBodyWindow(), window) << "never a second mail-body window";
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->text(), u"newer"_s);
}

TEST_F(MailBodyLifecycle, operatorClosesThenTheMainWindowGoes_windowAndTextDiscarded) {
    model.setMailBodyText(u"old alarm"_s);
    model.showMailBody();
    QPointer<MailBodyWindow> window = main->mailBodyWindow();
    window->close();
    EXPECT_EQ(main->mailBodyWindow(), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(window.isNull());
    model.showMailBody();
    window = main->mailBodyWindow();
    ASSERT_FALSE(window.isNull());
    EXPECT_TRUE(window->text().isEmpty());
    main.reset();
    EXPECT_TRUE(window.isNull());
}

}  // namespace

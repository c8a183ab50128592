// What the operator's mouse does on the main window: dragging from the bare background,
// minimise, end, the clickable labels and dials, and the window states.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include "app/WindowModel.h"
#include "ui/MainWindow.h"

using namespace kervo;

namespace {

// Counts the system moves it is asked for; answers as told.
class RecordingWindow : public MainWindow {
  public:
    explicit RecordingWindow(WindowModel& model, bool systemMoves = true)
        : MainWindow(model), systemMoves_(systemMoves) {
        model.setDialVisible(0, true);  // dials 1..11 stay hidden
        show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(this));
    }
    void click(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(windowHandle(), button, {}, at);
    }
    int moves = 0;

  protected:
    bool startSystemMove() override {
        ++moves;
        return systemMoves_;
    }

  private:
    bool systemMoves_;
};

struct MainWindowInput : ::testing::Test {
    WindowModel model;
    RecordingWindow window{model};
};

TEST_F(MainWindowInput, press_movesOnlyForLeftButtonOnBareBackgroundRightOffersHistory) {
    const std::tuple<const char*, QPoint, Qt::MouseButton, int> cases[] = {
        {"bare background", {10, 300}, Qt::LeftButton, 1},
        {"hidden dial 11", {600, 300}, Qt::LeftButton, 1},
        {"hidden reset label", {530, 14}, Qt::LeftButton, 1},
        {"visible dial 0", {80, 160}, Qt::LeftButton, 0},
        {"caption box", {40, 100}, Qt::LeftButton, 0},
        {"transparent hint line", {300, 500}, Qt::LeftButton, 0},
        {"emblem", {30, 40}, Qt::LeftButton, 0}};
    for (const auto& [where, at, button, moves] : cases) {
        const int before = window.moves;
        window.click(at, button);
        EXPECT_EQ(window.moves - before, moves) << where;
    }
    // the right button on the bare background moves nothing and offers the history
    QSignalSpy asked(&window, &MainWindow::historyRequested);
    const int before = window.moves;
    window.click({10, 300}, Qt::RightButton);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.moves, before);
    EXPECT_TRUE(window.contextMenu()->isVisible());
    window.historyAction()->trigger();
    EXPECT_EQ(asked.count(), 1);
    window.contextMenu()->hide();
}

TEST_F(MainWindowInput, minimiseMark_minimises) {
    window.click(QPoint(630, 14));
    EXPECT_TRUE(window.isMinimized());
    EXPECT_EQ(model.windowState(), WindowState::Minimised);
}

TEST(MainWindowQuit, closeMarkMenuOrADesktopClose_requestTheEndOnce) {
    for (int way = 0; way < 3; ++way) {
        WindowModel model;
        RecordingWindow window(model);
        QSignalSpy ends(&window, &MainWindow::quitRequested);
        window.click(QPoint(655, 14), Qt::RightButton);
        EXPECT_EQ(ends.count(), 0);
        if (way == 0) {
            window.click(QPoint(655, 14));
        } else if (way == 1) {
            window.quitAction()->trigger();
        }
        window.close();  // the end itself closes the window, which must not ask again
        EXPECT_EQ(ends.count(), 1) << way;
    }
}

TEST_F(MainWindowInput, resetReportLineAndDials_reachTheirHandlersOnALeftClickOnly) {
    QSignalSpy resets(&window, &MainWindow::resetAlarmRequested);
    QSignalSpy dials(&window, &MainWindow::dialClicked);
    model.setResetAlarmVisible(true);
    window.click(QPoint(530, 14));
    window.resetAlarmAction()->trigger();
    EXPECT_EQ(resets.count(), 2);
    window.click(QPoint(100, 450));  // the report line
    ASSERT_NE(window.mailBodyWindow(), nullptr);
    EXPECT_TRUE(window.mailBodyWindow()->isVisible());

    window.click(QPoint(80, 160), Qt::RightButton);
    window.click(QPoint(600, 300));  // dial 11 is hidden
    QTest::mousePress(window.windowHandle(), Qt::LeftButton, {}, QPoint(80, 160));
    QTest::mouseRelease(window.windowHandle(), Qt::LeftButton, {}, QPoint(300, 300));
    EXPECT_EQ(dials.count(), 0);
    model.setDialVisible(11, true);
    window.click(QPoint(600, 300));
    ASSERT_EQ(dials.count(), 1);
    EXPECT_EQ(dials.at(0).at(0).toInt(), 11);
}

TEST_F(MainWindowInput, maximised_keepsSizeAtTheCornerUntilNormal) {
    window.move(60, 50);
    const QPoint normal = window.pos();
    model.setWindowState(WindowState::Minimised);
    model.setWindowState(WindowState::Maximised);
    EXPECT_FALSE(window.isMinimized());
    EXPECT_EQ(window.pos(), window.screen()->availableGeometry().topLeft());
    EXPECT_EQ(window.size(), QSize(680, 520));
    // the operator minimises and restores; the model hears of both
    window.showMinimized();
    EXPECT_EQ(model.windowState(), WindowState::Minimised);
    window.showNormal();
    EXPECT_EQ(model.windowState(), WindowState::Maximised);
    model.setWindowState(WindowState::Normal);
    EXPECT_EQ(window.pos(), normal);
    // a report the operator is reading stays above the window that comes forward
    model.showMailBody();
    model.setWindowState(WindowState::Maximised);
    QCoreApplication::processEvents();
    EXPECT_EQ(QApplication::activeWindow(), window.mailBodyWindow());
}

}  // namespace

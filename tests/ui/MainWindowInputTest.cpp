// What the operator's mouse does on the main window: dragging from the bare background,
// minimise, end, the reset label, the dials and the window states.
#include <gtest/gtest.h>

#include <QAction>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>

#include "UiTestSupport.h"
#include "app/FormModel.h"
#include "ui/MainWindow.h"

using namespace kervo;
using kervo::test::control;

namespace {

// Records each system move it is asked for; answers as told.
class RecordingWindow : public MainWindow {
  public:
    RecordingWindow(FormModel& model, bool systemMoves)
        : MainWindow(model), systemMoves_(systemMoves) {}
    int moves = 0;

  protected:
    bool startSystemMove() override {
        ++moves;
        return systemMoves_;
    }

  private:
    bool systemMoves_;
};

class MainWindowInput : public ::testing::Test {
  protected:
    void SetUp() override {
        model.setDialVisible(0, true);  // dials 1..11 stay hidden
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    QWindow* handle() { return window.windowHandle(); }
    void click(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(handle(), button, {}, at);
    }

    FormModel model;
    RecordingWindow window{model, true};
};

struct PressCase {
    const char* where;
    QPoint at;
    Qt::MouseButton button;
    bool moves;
};

void PrintTo(const PressCase& c, std::ostream* os) {
    *os << c.where;
}

class MainWindowPress : public MainWindowInput, public ::testing::WithParamInterface<PressCase> {};

TEST_P(MainWindowPress, press_movesOnlyForLeftButtonOnBareBackground) {
    const PressCase& c = GetParam();
    QTest::mousePress(handle(), c.button, {}, c.at);
    QTest::mouseRelease(handle(), c.button, {}, c.at);
    EXPECT_EQ(window.moves, c.moves ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(
    Places, MainWindowPress,
    ::testing::Values(PressCase{"bare background", {10, 300}, Qt::LeftButton, true},
                      PressCase{"bare background, right", {10, 300}, Qt::RightButton, false},
                      PressCase{"bare background, middle", {10, 300}, Qt::MiddleButton, false},
                      PressCase{"hidden dial 11", {600, 300}, Qt::LeftButton, true},
                      PressCase{"hidden Label10", {530, 14}, Qt::LeftButton, true},
                      PressCase{"visible dial 0", {80, 160}, Qt::LeftButton, false},
                      PressCase{"name box", {40, 100}, Qt::LeftButton, false},
                      PressCase{"transparent Label6", {300, 500}, Qt::LeftButton, false},
                      PressCase{"empty Label1", {500, 385}, Qt::LeftButton, false},
                      PressCase{"title Label7", {300, 15}, Qt::LeftButton, false},
                      PressCase{"Picture2", {30, 40}, Qt::LeftButton, false}));

TEST(MainWindowDrag, noSystemMove_windowFollowsThePointerUntilRelease) {
    FormModel model;
    RecordingWindow window(model, false);
    window.move(40, 30);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QPoint start = window.pos();
    QWindow* handle = window.windowHandle();
    QTest::mousePress(handle, Qt::LeftButton, {}, QPoint(10, 300));
    QTest::mouseMove(handle, QPoint(60, 330));
    EXPECT_EQ(window.pos(), start + QPoint(50, 30));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(10, 300));
    const QPoint dropped = window.pos();
    QTest::mouseMove(handle, QPoint(100, 100));
    EXPECT_EQ(window.pos(), dropped);
}

TEST_F(MainWindowInput, label8Click_minimises) {
    click(QPoint(630, 14));
    EXPECT_TRUE(window.isMinimized());
    EXPECT_EQ(model.windowState(), WindowState::Minimised);
    EXPECT_EQ(window.moves, 0);
}

TEST_F(MainWindowInput, label9ClickAndMenuEnd_requestTheEnd) {
    QSignalSpy ends(&window, &MainWindow::endRequested);
    click(QPoint(655, 14), Qt::RightButton);
    EXPECT_EQ(ends.count(), 0);
    click(QPoint(655, 14));
    EXPECT_EQ(ends.count(), 1);

    FormModel other;
    MainWindow second(other);
    QSignalSpy menuEnds(&second, &MainWindow::endRequested);
    second.fendAction()->trigger();
    EXPECT_EQ(menuEnds.count(), 1);
}

TEST_F(MainWindowInput, systemClose_requestsTheEndOnce) {
    QSignalSpy ends(&window, &MainWindow::endRequested);
    window.close();
    window.fendAction()->trigger();
    EXPECT_EQ(ends.count(), 1);
}

TEST_F(MainWindowInput, resetLabelAndMenu_emitTheirSignals) {
    QSignalSpy label(&window, &MainWindow::label10Clicked);
    QSignalSpy menu(&window, &MainWindow::alarmResetChosen);
    model.setResetLabelVisible(true);
    click(QPoint(530, 14));
    EXPECT_EQ(label.count(), 1);
    window.alarmResetAction()->trigger();
    EXPECT_EQ(menu.count(), 1);
    EXPECT_EQ(label.count(), 1);
}

TEST_F(MainWindowInput, dialClick_leftButtonOnVisibleDialOnly) {
    QSignalSpy clicks(&window, &MainWindow::dialClicked);
    click(QPoint(80, 160), Qt::RightButton);
    click(QPoint(600, 300));  // dial 11 is hidden
    EXPECT_EQ(clicks.count(), 0);
    click(QPoint(80, 160));
    ASSERT_EQ(clicks.count(), 1);
    EXPECT_EQ(clicks.at(0).at(0).toInt(), 0);
    model.setDialVisible(11, true);
    click(QPoint(600, 300));
    ASSERT_EQ(clicks.count(), 2);
    EXPECT_EQ(clicks.at(1).at(0).toInt(), 11);
}

TEST_F(MainWindowInput, pressOnDialReleasedElsewhere_isNoClick) {
    QSignalSpy clicks(&window, &MainWindow::dialClicked);
    QTest::mousePress(handle(), Qt::LeftButton, {}, QPoint(80, 160));
    QTest::mouseRelease(handle(), Qt::LeftButton, {}, QPoint(300, 300));
    EXPECT_EQ(clicks.count(), 0);
}

TEST_F(MainWindowInput, label2Click_showsTheMailBody) {
    click(QPoint(100, 450));
    EXPECT_EQ(model.mailBodyPresence(), MailBodyPresence::Shown);
    ASSERT_NE(window.mailBodyWindow(), nullptr);
    EXPECT_TRUE(window.mailBodyWindow()->isVisible());
}

TEST_F(MainWindowInput, maximised_keepsSizeMovesToCornerAndNormalComesBack) {
    window.move(60, 50);
    const QPoint normal = window.pos();
    model.setWindowState(WindowState::Minimised);
    ASSERT_TRUE(window.isMinimized());
    model.setWindowState(WindowState::Maximised);
    EXPECT_FALSE(window.isMinimized());
    EXPECT_EQ(window.pos(), window.screen()->availableGeometry().topLeft());
    EXPECT_EQ(window.size(), QSize(680, 520));
    EXPECT_EQ(window.mask(), MainWindow::windowShape());
    model.setWindowState(WindowState::Maximised);  // every blink asks again
    model.setWindowState(WindowState::Normal);
    EXPECT_EQ(window.pos(), normal);
    EXPECT_FALSE(window.isMinimized());
}

TEST_F(MainWindowInput, operatorRestore_reportedToTheModel) {
    model.setWindowState(WindowState::Minimised);
    window.showNormal();
    EXPECT_EQ(model.windowState(), WindowState::Normal);
    model.setWindowState(WindowState::Maximised);
    window.showMinimized();
    EXPECT_EQ(model.windowState(), WindowState::Minimised);
    window.showNormal();
    EXPECT_EQ(model.windowState(), WindowState::Maximised);
}

}  // namespace

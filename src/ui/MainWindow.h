#pragma once

#include <QPoint>
#include <QPointer>
#include <QRegion>
#include <QWidget>
#include <array>

#include "app/WindowModel.h"
#include "ui/MailBodyWindow.h"

class QAction;
class QMenu;
class QMenuBar;

namespace kervo {

class PictureBox;
class TextBox;

// The monitor's main window: a frameless skinned window cut to a rounded shape, moved by pressing
// on its bare background. It mirrors the WindowModel and turns the operator's clicks into
// signals; it decides nothing the monitor owns.
class MainWindow : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kClientWidth = 680;
    static constexpr int kClientHeight = 520;

    explicit MainWindow(WindowModel& model, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The visible part of the window in client coordinates: 678 x 519 with corners rounded on
    // 48 x 48 ellipses. The menu bar lies outside it.
    static QRegion windowShape();

    QAction* quitAction() const { return quitAction_; }
    QAction* resetAlarmAction() const { return resetAlarmAction_; }
    // The right button's menu: the history.
    QMenu* contextMenu() const { return contextMenu_; }
    QAction* historyAction() const { return historyAction_; }
    // The mail-body window while it exists, hidden or shown.
    MailBodyWindow* mailBodyWindow() const { return mailBody_.data(); }

  Q_SIGNALS:
    void dialClicked(int index);  // a visible dial, left button
    void resetAlarmRequested();   // "Reset Alarm", or the hidden menu's alarm reset
    void quitRequested();         // the close mark, the hidden menu's end, or the desktop's close
    void historyRequested();      // the right button's menu

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

    // Hands the move to the window system, as a press on a title bar would. False when the
    // platform cannot; the window then follows the pointer itself until the button goes up.
    virtual bool startSystemMove();

  private:
    void buildControls();
    void buildMenus();
    void adoptBuiltinPictures();

    // A press that no control took: the bare background, a hidden dial, the hidden reset label.
    void startDrag(Qt::MouseButton button, QPointF globalPos);
    void showReportBody();
    void minimise();
    void requestQuit();

    void refreshDial(int index);
    void applyWindowState(WindowState state);
    void unminimise();
    WindowState currentState() const;

    void syncMailBody();
    void showMailBodyWindow();
    void mailBodyClosed();

    WindowModel& model_;
    std::array<PictureBox*, kDialCount> dials_{};
    std::array<TextBox*, kDialCount> dialCaptions_{};
    PictureBox* emblem_ = nullptr;
    TextBox* productTitle_ = nullptr;
    TextBox* clock_ = nullptr;
    TextBox* resetAlarmButton_ = nullptr;
    TextBox* minimiseButton_ = nullptr;
    TextBox* closeButton_ = nullptr;
    TextBox* alarmSubject_ = nullptr;
    TextBox* alarmMessage_ = nullptr;
    TextBox* alarmReport_ = nullptr;
    TextBox* dialHint_ = nullptr;
    TextBox* statusNotice_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    QAction* quitAction_ = nullptr;
    QAction* resetAlarmAction_ = nullptr;
    QMenu* contextMenu_ = nullptr;
    QAction* historyAction_ = nullptr;

    // Not a child: the mail-body window has no owner. Deleted with this window.
    QPointer<MailBodyWindow> mailBody_;

    // Maximised here keeps the window's size and shape and only moves it to the screen's corner.
    bool maximised_ = false;
    QPoint normalPos_;
    bool manualDrag_ = false;
    QPointF dragOffset_;
    bool quitting_ = false;
};

}  // namespace kervo

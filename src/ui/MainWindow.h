#pragma once

#include <QPoint>
#include <QPointer>
#include <QRegion>
#include <QWidget>
#include <array>

#include "app/FormModel.h"
#include "app/MonitorState.h"
#include "ui/MailBodyWindow.h"

class QAction;
class QMenuBar;

namespace kervo {

class PictureBox;
class TextBox;

// The monitor's main window, Form1: a frameless skinned window cut to a rounded shape, moved by
// pressing on its bare background. It mirrors the FormModel that the handlers write and turns
// the operator's clicks into signals; it decides nothing the handlers own.
class MainWindow : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kClientWidth = 680;
    static constexpr int kClientHeight = 520;

    explicit MainWindow(FormModel& model, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The visible part of the window in client coordinates: 678 x 519 with corners rounded on
    // 48 x 48 ellipses. Frame, title bar and menu bar lie outside it.
    static QRegion windowShape();
    // The one-line notice in the lower right corner.
    static QString noticeText();

    QAction* fendAction() const { return fend_; }
    QAction* alarmResetAction() const { return alarm_reset_; }
    // The mail-body window while it exists, hidden or shown.
    MailBodyWindow* mailBodyWindow() const { return mailBody_.data(); }

  Q_SIGNALS:
    void dialClicked(int index);  // a visible dial, left button
    void label10Clicked();        // "Reset Alarm"
    void alarmResetChosen();      // the hidden menu's alarm reset
    void endRequested();          // Label9, the hidden menu's end, or the system's close

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

    // Hands the move to the window system, as a press on a title bar would. False when the
    // platform cannot; the window then follows the pointer itself until the button goes up.
    virtual bool startSystemMove();

  private:
    void buildControls();
    void buildMenus();
    void adoptBuiltinPictures();

    // A press that no control took: the bare background, a hidden dial, the hidden Label10.
    void Form_MouseDown(Qt::MouseButton button, QPointF globalPos);
    void DragWindow(Qt::MouseButton button, QPointF globalPos);
    void Label2_Click();
    void Label8_Click();
    void Label9_Click();
    void fend_Click();
    void requestEnd();

    void refreshLabel(FormLabel label);
    void refreshDial(int index);
    void applyWindowState(WindowState state);
    void unminimise();
    WindowState currentState() const;

    void syncMailBody();
    void showMailBodyWindow();
    void mailBodyClosed();

    FormModel& model_;
    std::array<PictureBox*, kDialCount> Picture1_{};
    std::array<TextBox*, kDialCount> Label5_{};
    PictureBox* Picture2_ = nullptr;
    TextBox* Label1_ = nullptr;
    TextBox* Label2_ = nullptr;
    TextBox* Label3_ = nullptr;
    TextBox* Label4_ = nullptr;
    TextBox* Label6_ = nullptr;
    TextBox* Label7_ = nullptr;
    TextBox* Label8_ = nullptr;
    TextBox* Label9_ = nullptr;
    TextBox* Label10_ = nullptr;
    TextBox* Label11_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    QAction* fend_ = nullptr;
    QAction* alarm_reset_ = nullptr;

    // Not a child: the mail-body window has no owner. Deleted with this window.
    QPointer<MailBodyWindow> mailBody_;

    // Maximised here keeps the window's size and shape and only moves it to the screen's corner.
    bool maximised_ = false;
    QPoint normalPos_;
    bool manualDrag_ = false;
    QPointF dragOffset_;
    bool ending_ = false;
};

}  // namespace kervo

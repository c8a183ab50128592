#pragma once

#include <QMenu>
#include <QObject>
#include <QPointer>

class QAction;
class QSystemTrayIcon;

namespace kervo {

class WindowModel;

// The monitor's icon in the desktop's system tray: calm, alarm or polls failing, as the window's
// model shows, and a menu to show the window, open the history, reset the alarm and quit. Where
// the desktop has no tray nothing is shown and nothing fails; the menu still exists.
class TrayIcon : public QObject {
    Q_OBJECT
  public:
    enum class State { Calm, Alarm, PollsFailing };

    explicit TrayIcon(WindowModel& model, QObject* parent = nullptr);
    ~TrayIcon() override;

    State state() const { return state_; }
    QString toolTip() const;
    bool isShown() const;
    QMenu& menu() { return menu_; }
    // A balloon beside the icon, where there is one.
    void announce(const QString& title, const QString& text);

  Q_SIGNALS:
    void showWindowRequested();
    void historyRequested();
    void resetAlarmRequested();
    void quitRequested();

  private:
    void follow();

    WindowModel& model_;
    QMenu menu_;
    State state_ = State::Calm;
    QPointer<QSystemTrayIcon> icon_;
};

}  // namespace kervo

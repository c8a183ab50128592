#pragma once

#include <QObject>
#include <QPointer>

#include "ui/HistoryWindow.h"

namespace kervo {

class Clock;
class DesktopNotifier;
class Journal;
class MainWindow;
class Monitor;
class TrayIcon;
class WindowModel;

// What the monitor offers beside its window: the history window, the tray icon with its menu and
// the desktop notification of each alarm, wired to the monitor and the window. Where the desktop
// has no tray or no notification service those parts do nothing.
class OperatorDesk : public QObject {
    Q_OBJECT
  public:
    OperatorDesk(Monitor& monitor, MainWindow& window, WindowModel& model, Journal& journal,
                 const Clock& clock, QObject* parent = nullptr);
    ~OperatorDesk() override;

    // After the start-up: alarms an earlier run left open are announced in the tray as well.
    void started();
    // Opens the history, or brings it forward.
    void showHistory();
    HistoryWindow* history() const { return history_.data(); }
    TrayIcon& tray() { return *tray_; }

  private:
    void showWindow();

    Monitor& monitor_;
    MainWindow& window_;
    Journal& journal_;
    const Clock& clock_;
    TrayIcon* tray_;
    DesktopNotifier* notifier_;
    QPointer<HistoryWindow> history_;  // no parent: a window of its own; deleted with this
};

}  // namespace kervo

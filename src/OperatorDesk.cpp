#include "OperatorDesk.h"

#include <QCoreApplication>

#include "Monitor.h"
#include "app/ScreenTexts.h"
#include "settings/Settings.h"
#include "ui/DesktopNotifier.h"
#include "ui/HistoryWindow.h"
#include "ui/MainWindow.h"
#include "ui/TrayIcon.h"

namespace kervo {

OperatorDesk::OperatorDesk(Monitor& monitor, MainWindow& window, WindowModel& model,
                           Journal& journal, const Clock& clock, QObject* parent)
    : QObject(parent),
      monitor_(monitor),
      window_(window),
      journal_(journal),
      clock_(clock),
      tray_(new TrayIcon(model, this)),
      notifier_(new DesktopNotifier(this)) {
    connect(&window_, &MainWindow::historyRequested, this, &OperatorDesk::showHistory);
    connect(tray_, &TrayIcon::showWindowRequested, this, &OperatorDesk::showWindow);
    connect(tray_, &TrayIcon::historyRequested, this, &OperatorDesk::showHistory);
    connect(tray_, &TrayIcon::resetAlarmRequested, &monitor_, &Monitor::resetAlarm);
    connect(tray_, &TrayIcon::quitRequested, qApp, &QCoreApplication::quit, Qt::QueuedConnection);
    connect(&monitor_, &Monitor::alarmRaised, notifier_, &DesktopNotifier::notify);
    connect(&monitor_, &Monitor::journalChanged, this, [this] {
        if (history_ && history_->isVisible()) {
            history_->refreshSoon();
        }
    });
}

OperatorDesk::~OperatorDesk() {
    delete history_.data();
}

void OperatorDesk::started() {
    if (const int open = monitor_.openAlarmsFromEarlier(); open > 0) {
        tray_->announce(screen::productTitle(), screen::openAlarmsFromEarlier(open));
    }
}

void OperatorDesk::showHistory() {
    if (!history_) {
        QStringList servers;
        for (const ServerEntry& server : monitor_.settings().servers) {
            servers << server.name.toText();
        }
        history_ = new HistoryWindow(journal_, clock_, servers);
        connect(history_, &HistoryWindow::alarmAcknowledged, &monitor_, &Monitor::noteAcknowledged);
    } else {
        history_->refresh();
    }
    history_->show();
    history_->raise();
    history_->activateWindow();
}

void OperatorDesk::showWindow() {
    if (window_.isMinimized()) {
        window_.showNormal();
    }
    window_.show();
    window_.raise();
    window_.activateWindow();
}

}  // namespace kervo

#include "ui/TrayIcon.h"

#include <QPainter>
#include <QPixmap>
#include <QSystemTrayIcon>

#include "app/ScreenTexts.h"
#include "app/WindowModel.h"

namespace kervo {

namespace {

QIcon stateIcon(TrayIcon::State state) {
    QPixmap picture(32, 32);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor colours[] = {QColor(0, 160, 0), QColor(220, 0, 0), QColor(230, 140, 0)};
    painter.setBrush(colours[static_cast<int>(state)]);
    painter.setPen(Qt::black);
    painter.drawEllipse(3, 3, 26, 26);
    return QIcon(picture);
}

}  // namespace

TrayIcon::TrayIcon(WindowModel& model, QObject* parent) : QObject(parent), model_(model) {
    menu_.setObjectName(QStringLiteral("trayMenu"));
    connect(menu_.addAction(screen::showWindowCommand()), &QAction::triggered, this,
            &TrayIcon::showWindowRequested);
    connect(menu_.addAction(screen::historyCommand()), &QAction::triggered, this,
            &TrayIcon::historyRequested);
    connect(menu_.addAction(screen::resetAlarmCommand()), &QAction::triggered, this,
            &TrayIcon::resetAlarmRequested);
    connect(menu_.addAction(screen::quitCommand()), &QAction::triggered, this,
            &TrayIcon::quitRequested);
    connect(&model_, &WindowModel::resetAlarmVisibleChanged, this, &TrayIcon::follow);
    connect(&model_, &WindowModel::statusNoticeChanged, this, &TrayIcon::follow);
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        icon_ = new QSystemTrayIcon(this);
        icon_->setContextMenu(&menu_);
        connect(icon_, &QSystemTrayIcon::activated, this,
                [this](QSystemTrayIcon::ActivationReason why) {
                    if (why == QSystemTrayIcon::Trigger) {
                        Q_EMIT showWindowRequested();
                    }
                });
    }
    follow();
    if (icon_) {
        icon_->show();
    }
}

TrayIcon::~TrayIcon() {
    delete icon_;  // before the menu it points to
}

void TrayIcon::follow() {
    if (model_.resetAlarmVisible()) {
        state_ = State::Alarm;
    } else if (model_.statusNotice() == screen::pollFailed()) {
        state_ = State::PollsFailing;
    } else {
        state_ = State::Calm;
    }
    if (icon_) {
        icon_->setIcon(stateIcon(state_));
        icon_->setToolTip(toolTip());
    }
}

QString TrayIcon::toolTip() const {
    switch (state_) {
        case State::Alarm:
            return screen::trayAlarm();
        case State::PollsFailing:
            return screen::trayPollFailing();
        case State::Calm:
            break;
    }
    return screen::trayCalm();
}

bool TrayIcon::isShown() const {
    return icon_ && icon_->isVisible();
}

void TrayIcon::announce(const QString& title, const QString& text) {
    if (icon_ && QSystemTrayIcon::supportsMessages()) {
        icon_->showMessage(title, text, QSystemTrayIcon::Warning);
    }
}

}  // namespace kervo

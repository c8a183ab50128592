#include "ui/DesktopNotifier.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QVariantMap>

#include "app/ScreenTexts.h"

namespace kervo {

namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
constexpr int kPaceMs = 1000;
constexpr int kShownMs = 10000;

}  // namespace

DesktopNotifier::DesktopNotifier(QObject* parent) : QObject(parent) {
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected() && bus.interface() != nullptr) {
        hasService_ = bus.interface()->isServiceRegistered(kService).value();
    }
    pace_.setSingleShot(true);
    pace_.setInterval(kPaceMs);
    connect(&pace_, &QTimer::timeout, this, &DesktopNotifier::sendHeld);
}

void DesktopNotifier::notify(const QString& server, const QString& message) {
    if (!hasService_) {
        return;
    }
    if (pace_.isActive()) {
        heldServer_ = server;
        heldMessage_ = message;
        ++held_;
        return;
    }
    send(screen::notificationTitle(server), message);
}

void DesktopNotifier::sendHeld() {
    if (held_ == 0) {
        return;
    }
    const QString body =
        held_ == 1 ? heldMessage_ : QStringLiteral("%1\n(+%2)").arg(heldMessage_).arg(held_ - 1);
    held_ = 0;
    send(screen::notificationTitle(heldServer_), body);
}

void DesktopNotifier::send(const QString& summary, const QString& body) {
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, QStringLiteral("/org/freedesktop/Notifications"),
                                       kService, QStringLiteral("Notify"));
    call << screen::productTitle() << 0u << QStringLiteral("dialog-warning") << summary << body
         << QStringList() << QVariantMap{{QStringLiteral("urgency"), QVariant::fromValue(uchar(2))}}
         << kShownMs;
    // Sent without waiting: a notification service that hangs must not hold the window.
    QDBusConnection::sessionBus().call(call, QDBus::NoBlock);
    ++sent_;
    pace_.start();
}

}  // namespace kervo

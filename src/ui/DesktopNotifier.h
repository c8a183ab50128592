#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

namespace kervo {

// Each alarm as a desktop notification (its server and rule message) through the freedesktop
// notification service on the session bus. Without a session bus or the service nothing is
// sent and nothing fails; the calls never wait for an answer. A poll of many alarms sends at
// most one notification a second; the alarms in between are summed up in the next one.
class DesktopNotifier : public QObject {
    Q_OBJECT
  public:
    explicit DesktopNotifier(QObject* parent = nullptr);

    bool hasService() const { return hasService_; }
    void notify(const QString& server, const QString& message);
    // How many notifications were sent, for the tests.
    int sent() const { return sent_; }

  private:
    void sendHeld();
    void send(const QString& summary, const QString& body);

    bool hasService_ = false;
    QTimer pace_;
    QString heldServer_;
    QString heldMessage_;
    int held_ = 0;
    int sent_ = 0;
};

}  // namespace kervo

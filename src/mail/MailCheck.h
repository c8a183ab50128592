#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>
#include <atomic>
#include <thread>

#include "mail/MailComponent.h"
#include "mail/StatusNotice.h"

namespace kervo {

struct MonitorContext;

// One poll of the mailbox. The network part (RcvMail) runs on a worker thread so that the window
// never waits for the mail server; the grey hands, the reading and the analysis of the fetched
// mail run afterwards on the interface thread, in the order the mail arrived. Only one poll is
// ever in flight.
class MailCheck : public QObject {
    Q_OBJECT
  public:
    MailCheck(MonitorContext& context, MailComponent& mailer, QString mailFolder,
              QObject* parent = nullptr);
    ~MailCheck() override;

    // Starts a poll. A poll asked for while one is still running is dropped (returns false), and
    // the notice line says that the running one is overdue until it ends.
    bool CheckMail();
    bool isPolling() const { return polling_; }
    const QString& mailFolder() const { return mailFolder_; }

    // How long one slice of the analysis may hold the interface thread before it lets other
    // events (blink ticks, clicks, repaints) in.
    void setSliceBudgetMs(int ms) { sliceBudgetMs_ = ms; }

  Q_SIGNALS:
    // After the last fetched mail of the poll has been analysed.
    void pollFinished(const QString& error);

  private:
    void fetched(FetchResult result);
    void analyseSome();
    void finish();

    MonitorContext& context_;
    MailComponent& mailer_;
    const QString mailFolder_;
    std::thread worker_;
    bool polling_ = false;
    QStringList pending_;
    qsizetype next_ = 0;
    QString error_;
    int withheld_ = 0;
    StatusNotice notice_;
    QDateTime pollStarted_;
    bool overdue_ = false;
    int sliceBudgetMs_ = 5;
};

}  // namespace kervo

#pragma once

#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <atomic>
#include <thread>

#include "alarm/ReportAnalysis.h"
#include "mail/Mailbox.h"
#include "mail/ReadAhead.h"
#include "mail/StatusNotice.h"

namespace kervo {

struct MonitorContext;

// One poll of the mailbox. The network part (fetchAll) and the reading of the fetched mails
// (readReport) run on a worker thread, so that the window never waits for the mail server nor for
// a huge mail; the grey hands and then the analysis of each mail run on the interface thread,
// in slices, in the order the mail arrived. The worker reads only a bounded amount ahead of the
// analysis. A mail that could not be read now is left for the next poll. Only one poll is ever
// in flight.
class MailCheck : public QObject {
    Q_OBJECT
  public:
    MailCheck(MonitorContext& context, Mailbox& mailer, QString mailFolder,
              QObject* parent = nullptr);
    // Waits for the worker: for a fetch under way to end (it has its timeouts), not for the
    // poll's remaining mails to be read.
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
    void fetchAndRead(const QString& server, const QString& user, const QString& password,
                      const ReportRules& rules);
    void wakeAnalysis();
    void onWake();
    void fetched(FetchOutcome result);
    void analyseSome();
    void analyse(ReadAhead::Mail mail);
    void finish();

    MonitorContext& context_;
    Mailbox& mailer_;
    const QString mailFolder_;
    ReadAhead readAhead_;
    std::thread worker_;
    bool polling_ = false;
    bool fetchShown_ = false;  // the grey hands are drawn: the analysis may begin
    std::atomic<bool> wakePending_{false};
    QSet<QString> unreadableReported_;
    QString error_;
    int withheld_ = 0;
    StatusNotice notice_;
    QDateTime pollStarted_;
    bool overdue_ = false;
    int sliceBudgetMs_ = 5;
};

}  // namespace kervo

#pragma once

#include <QDateTime>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <atomic>
#include <thread>

#include "mail/MailPush.h"
#include "mail/Mailbox.h"
#include "mail/ReadAhead.h"
#include "mail/StatusNotice.h"
#include "settings/RuleBook.h"

namespace kervo {

class Clock;
class ProblemLog;
class WindowModel;

// One poll of the mailbox at a time. The fetch, and beside it the reading of the saved mails and
// the search of the alarm rules, run on worker threads, so that the window never waits for the
// mail server nor for a huge mail; the reports then reach the interface thread one by one, in
// slices, in the order they arrived, from the fetch's first saved batch on, and each is marked
// analysed once its signal has been handled. The worker
// reads only a bounded amount ahead. A mail that could not be read now is left for the next
// poll. Only one fetch is ever in flight: the ticks' polls and the fetches that word of new mail
// between the ticks starts take turns.
class MailCheck : public QObject {
    Q_OBJECT
  public:
    MailCheck(Mailbox& mailbox, MailAccount account, RuleBook rules, WindowModel& window,
              const Clock& clock, ProblemLog& log, QObject* parent = nullptr);
    // Waits for the worker: for a fetch under way to end (it has its timeouts), not for the
    // poll's remaining mails to be read.
    ~MailCheck() override;

    // Starts a tick's poll. One asked for while a tick's poll is still running is dropped
    // (returns false), and the notice line says that the running one is overdue until it ends.
    // One asked for while a fetch started by word of new mail runs follows right after it.
    [[nodiscard]] bool start();
    // Word that mail has arrived between the ticks: fetched at once when no fetch runs,
    // otherwise once right after the running one, however often the word came meanwhile. Such a
    // fetch draws no grey hands: they mark the ticks only.
    void onMailArrived();
    // How the word of new mail stands: shown on the notice line while it is being reconnected;
    // each loss and each recovery is logged once.
    void onPushState(const PushState& state);
    // Ok when the last poll's fetch ran to its end; otherwise why it stopped.
    const Result<void>& lastPoll() const { return lastPoll_; }
    bool isPolling() const { return polling_; }
    // The notice line the polls write to, which other parts add their remark to.
    StatusNotice& notice() { return notice_; }

    // How long one slice of the analysis may hold the interface thread before it lets other
    // events (blink ticks, clicks, repaints) in.
    void setSliceBudgetMs(int ms) { sliceBudgetMs_ = ms; }

  Q_SIGNALS:
    // A tick's fetch has saved its first mails, or is over: the poll's grey hands belong here,
    // before any of its reports.
    void fetched();
    // One report, in the order the mails arrived, with what the rules found in it and the name
    // of its mail file (without the folder), which stays the same when a mail is handed out
    // again. The mail is marked analysed only once every receiver has returned: what a
    // receiver records here is recorded before the mail can be purged.
    void reportRead(const QString& subject, const QString& body,
                    const kervo::ReportFindings& findings, const QString& mailFile);
    // After the last fetched mail of a fetch has been handled; lastPoll() says how it went. The
    // fetch that waited for it has already started (isPolling()).
    void pollFinished();

  private:
    void beginFetch(bool byPush);
    void fetchAndRead();
    void readSaved(SavedMailQueue& saved);
    void wakeAnalysis();
    void onWake();
    void onFirstSaved();
    void showFetch();
    void onFetched(FetchOutcome outcome);
    void analyseSome();
    void analyse(const ReadAhead::Mail& mail);
    void finish();

    Mailbox& mailbox_;
    const MailAccount account_;
    const RuleBook rules_;
    const Clock& clock_;
    ProblemLog& log_;
    ReadAhead readAhead_;
    std::thread worker_;
    bool polling_ = false;
    bool pushFetch_ = false;    // the running fetch was started by word of new mail
    bool tickWaiting_ = false;  // a tick's poll follows the running fetch
    bool pushWaiting_ = false;  // word of new mail came while a fetch ran
    bool pushLost_ = false;     // the push connection is being reconnected
    bool fetchShown_ = false;   // the grey hands are drawn: the analysis may begin
    bool fetchEnded_ = false;   // the outcome of the fetch is in: the poll may end
    std::atomic<bool> wakePending_{false};
    QSet<QString> unreadableReported_;
    Result<void> lastPoll_;
    int withheld_ = 0;
    StatusNotice notice_;
    QDateTime pollStarted_;
    bool overdue_ = false;
    // With the analysis running beside the fetch, the window shares two cores with more threads:
    // a shorter slice leaves room for the wait for the processor within one frame.
    int sliceBudgetMs_ = 3;
};

}  // namespace kervo

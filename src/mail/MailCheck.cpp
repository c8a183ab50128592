#include "mail/MailCheck.h"

#include <sys/resource.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QMetaObject>
#include <QTimer>

#include "app/ProblemLog.h"
#include "app/Seams.h"

namespace kervo {

namespace {
// How far the reading may run ahead of the analysis: in mails, and in bytes of their texts.
constexpr qsizetype kReadAheadMails = 256;
constexpr qint64 kReadAheadBytes = qint64(64) * 1024 * 1024;
constexpr int kFetchingNice = 5;
// How soon the analysis looks at the read-ahead queue again when the reading thread held it.
constexpr int kBusyQueueRetryMs = 1;
constexpr int kReadingNice = 10;
}  // namespace

MailCheck::MailCheck(Mailbox& mailbox, MailAccount account, RuleBook rules, WindowModel& window,
                     const Clock& clock, ProblemLog& log, QObject* parent)
    : QObject(parent),
      mailbox_(mailbox),
      account_(std::move(account)),
      rules_(std::move(rules)),
      clock_(clock),
      log_(log),
      readAhead_(kReadAheadMails, kReadAheadBytes),
      notice_(window) {}

MailCheck::~MailCheck() {
    // The worker stops at its next mail; what it posted to this object dies with it.
    readAhead_.stop();
    if (worker_.joinable()) {
        worker_.join();
    }
}

bool MailCheck::start() {
    if (polling_ && pushFetch_ && !tickWaiting_) {
        tickWaiting_ = true;  // not overdue: the push's fetch began after the last tick
        return true;
    }
    if (polling_) {
        // A poll that is still running when the next one is due is told once, not hidden.
        if (!overdue_) {
            overdue_ = true;
            notice_.setPollOverdue(true);
            log_.report(QStringLiteral("the mail poll started at %1 is still running; no new poll "
                                       "starts before it ends")
                            .arg(pollStarted_.toString(QStringLiteral("HH:mm:ss"))));
        }
        return false;
    }
    beginFetch(false);
    return true;
}

void MailCheck::onMailArrived() {
    if (!polling_) {
        beginFetch(true);
    } else {
        pushWaiting_ = true;  // the running fetch may have listed the mailbox before the mail came
    }
}

void MailCheck::onPushState(const PushState& state) {
    const bool lost = state.kind == PushState::Kind::Reconnecting;
    if (lost && !pushLost_) {
        log_.report(QStringLiteral("the push connection to the mail server was lost: %1; mail is "
                                   "fetched at the ticks until it is back")
                        .arg(state.reason));
    } else if (!lost && pushLost_) {
        log_.report(state.kind == PushState::Kind::Listening
                        ? QStringLiteral("the push connection to the mail server is back")
                        : QStringLiteral("the push connection to the mail server was given up; "
                                         "mail is fetched at the ticks only"));
    }
    // Off for a reason of the server's (it offers no IDLE): said once, when it is told.
    if (state.kind == PushState::Kind::Off && !state.reason.isEmpty()) {
        log_.report(state.reason);
    }
    pushLost_ = lost;
    notice_.setPushState(state);
}

void MailCheck::beginFetch(bool byPush) {
    polling_ = true;
    pushFetch_ = byPush;
    pollStarted_ = clock_.now();
    fetchShown_ = false;
    fetchEnded_ = false;
    if (worker_.joinable()) {
        worker_.join();  // the previous worker has already delivered its last mail
    }
    readAhead_.reopen();
    worker_ = std::thread(&MailCheck::fetchAndRead, this);
}

// The fetching thread. It reads only what never changes (the account, the rules) and touches
// nothing of the interface thread's: what it learns goes through the read-ahead queue and queued
// calls. The mails are read on a thread of their own from the first batch saved on, so that the
// reading and the analysis of a big poll go on while the rest of it is fetched.
void MailCheck::fetchAndRead() {
    // The fetch mostly waits for the server; when data comes, it should not take the processor
    // from the window, nor lose it to the reading.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kFetchingNice);
    SavedMailQueue saved;
    std::thread reader(&MailCheck::readSaved, this, std::ref(saved));
    bool toldAny = false;
    const SavedMails tell = [this, &saved, &toldAny](const QStringList& files) {
        if (files.isEmpty()) {
            return;
        }
        saved.add(files);
        if (!std::exchange(toldAny, true)) {
            QMetaObject::invokeMethod(this, &MailCheck::onFirstSaved, Qt::QueuedConnection);
        }
    };
    FetchOutcome result;
    try {
        result = mailbox_.fetchAll(account_, tell);
    } catch (const std::exception& e) {
        result.ended = Error{QString::fromUtf8(e.what())};
    } catch (...) {
        result.ended = Error{QStringLiteral("the mailbox failed")};
    }
    saved.finish(result.files);
    QMetaObject::invokeMethod(
        this, [this, result = std::move(result)]() mutable { onFetched(std::move(result)); },
        Qt::QueuedConnection);
    reader.join();
}

void MailCheck::readSaved(SavedMailQueue& saved) {
    // The reading gives way to the window and to the fetch: on a busy machine the interface
    // thread gets the CPU first.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kReadingNice);
    while (std::optional<QString> element = saved.next()) {
        ReadAhead::Mail mail{*element, Error{}, {}};
        try {
            mail.read = mailbox_.readReport(*element);
        } catch (...) {
            mail.read = Error{QStringLiteral("%1 could not be read").arg(*element)};
        }
        // The rules are searched here too: a long report must not hold up the window.
        if (mail.read.ok()) {
            mail.findings = rules_.find(mail.read.value().subject, mail.read.value().body);
        }
        bool wasEmpty = false;
        if (!readAhead_.put(std::move(mail), wasEmpty)) {
            return;  // the check is going away
        }
        if (wasEmpty) {
            wakeAnalysis();
        }
    }
    readAhead_.close();
    wakeAnalysis();
}

// One wake pending at a time, from the worker or from a slice that ran out: wakes piled up
// would all be handled in one turn of the event loop, each with a slice of its own, and hold
// the window for as long as all of them together.
void MailCheck::wakeAnalysis() {
    if (!wakePending_.exchange(true)) {
        QMetaObject::invokeMethod(this, &MailCheck::onWake, Qt::QueuedConnection);
    }
}

void MailCheck::onWake() {
    wakePending_ = false;  // before taking: a mail put from now on wakes this again
    analyseSome();
}

// The first mails of the fetch are safe: the analysis may begin, after the tick's mark on the
// dials.
void MailCheck::onFirstSaved() {
    showFetch();
    wakeAnalysis();
}

void MailCheck::showFetch() {
    if (fetchShown_) {
        return;
    }
    fetchShown_ = true;
    if (!pushFetch_) {
        Q_EMIT fetched();
    }
}

void MailCheck::onFetched(FetchOutcome result) {
    // Whatever a tick's fetch brought, its mark on the dials comes before any of its reports.
    showFetch();
    fetchEnded_ = true;
    lastPoll_ = result.ended;
    withheld_ = result.withheld;
    for (const QString& notice : std::as_const(result.notices)) {
        log_.report(notice);
    }
    wakeAnalysis();
}

// One slice, on a wake: when the worker has read something, when the grey hands are drawn, or
// on the next turn of the event loop after a slice ran out. A call with nothing to do does
// nothing.
void MailCheck::analyseSome() {
    if (!polling_ || !fetchShown_) {
        return;
    }
    QElapsedTimer slice;
    slice.start();
    for (;;) {
        ReadAhead::Taken taken = readAhead_.take();
        if (taken.busy) {
            // The reading thread holds the queue, perhaps held off the processor itself: looked
            // at again shortly, without the window waiting for it.
            QTimer::singleShot(kBusyQueueRetryMs, this, &MailCheck::wakeAnalysis);
            return;
        }
        if (!taken.mail) {
            if (fetchEnded_ && taken.drained) {
                finish();
            }
            return;  // otherwise the worker wakes this again once it has read the next mail
        }
        analyse(*taken.mail);
        readAhead_.giveBack(std::move(*taken.mail));
        if (slice.elapsed() >= sliceBudgetMs_) {
            wakeAnalysis();  // the rest on a later turn of the event loop
            return;
        }
    }
}

void MailCheck::analyse(const ReadAhead::Mail& mail) {
    if (!mail.read.ok()) {
        // Not marked analysed: the next poll lists it again and reads it then. Said once, not
        // at every poll while the trouble lasts.
        if (!unreadableReported_.contains(mail.element)) {
            unreadableReported_.insert(mail.element);
            log_.report(QStringLiteral("mail not read yet, tried again at the next poll: %1")
                            .arg(mail.read.error().message));
        }
        return;
    }
    unreadableReported_.remove(mail.element);
    Q_EMIT reportRead(mail.read.value().subject, mail.read.value().body, mail.findings,
                      QFileInfo(mail.element).fileName());
    mailbox_.markAnalysed(mail.element);
}

void MailCheck::finish() {
    if (!lastPoll_.ok()) {
        log_.report(QStringLiteral("mail poll failed: %1").arg(lastPoll_.error().message));
    }
    notice_.setPollFailed(!lastPoll_.ok());
    notice_.setWithheldMails(withheld_);
    notice_.setPollOverdue(false);
    overdue_ = false;
    polling_ = false;
    // What waited for this fetch starts now. The tick's poll fetches whatever the word of new
    // mail was about too, since it starts after the word came.
    if (tickWaiting_) {
        tickWaiting_ = false;
        pushWaiting_ = false;
        beginFetch(false);
    } else if (pushWaiting_) {
        pushWaiting_ = false;
        beginFetch(true);
    }
    Q_EMIT pollFinished();
}

}  // namespace kervo

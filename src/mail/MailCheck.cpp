#include "mail/MailCheck.h"

#include <sys/resource.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QMetaObject>

#include "alarm/ReportAnalysis.h"
#include "app/MonitorContext.h"
#include "dials/DialHands.h"

namespace kervo {

namespace {
// How far the reading may run ahead of the analysis: in mails, and in bytes of their texts.
constexpr qsizetype kReadAheadMails = 256;
constexpr qint64 kReadAheadBytes = qint64(64) * 1024 * 1024;
constexpr int kReadingNice = 10;

// The mailbox promises never to throw; should it, only this one mail is left for the next poll.
Result<ReportText> readSafely(Mailbox& mailer, const QString& file) {
    try {
        return mailer.readReport(file);
    } catch (...) {
        return Error{QStringLiteral("the mail component failed to read it")};
    }
}
}  // namespace

MailCheck::MailCheck(MonitorContext& context, Mailbox& mailer, QString mailFolder, QObject* parent)
    : QObject(parent),
      context_(context),
      mailer_(mailer),
      mailFolder_(std::move(mailFolder)),
      readAhead_(kReadAheadMails, kReadAheadBytes),
      notice_(context.form) {}

MailCheck::~MailCheck() {
    // The worker stops at its next mail; what it posted to this object dies with it.
    readAhead_.stop();
    if (worker_.joinable()) {
        worker_.join();
    }
}

bool MailCheck::CheckMail() {
    if (polling_) {
        // A poll that is still running when the next one is due is told once, not hidden.
        if (!overdue_) {
            overdue_ = true;
            notice_.setPollOverdue(true);
            context_.log.report(
                QStringLiteral("the mail poll started at %1 is still running; no new poll "
                               "starts before it ends")
                    .arg(pollStarted_.toString(QStringLiteral("HH:mm:ss"))));
        }
        return false;
    }
    polling_ = true;
    pollStarted_ = context_.clock.now();
    fetchShown_ = false;
    if (worker_.joinable()) {
        worker_.join();  // the previous worker has already delivered its last mail
    }
    readAhead_.reopen();
    // Copies: the worker must never see the state, which belongs to the interface thread.
    worker_ = std::thread(&MailCheck::fetchAndRead, this, context_.state.mailServer,
                          context_.state.mailUser, context_.state.mailPassword,
                          ReportRules::from(context_.state));
    return true;
}

// The worker thread. It touches nothing of the interface thread's: what it learns goes through
// the read-ahead queue and queued calls.
void MailCheck::fetchAndRead(const QString& server, const QString& user, const QString& password,
                             const ReportRules& rules) {
    FetchOutcome result;
    try {
        result = mailer_.fetchAll({server, user, password});
    } catch (const std::exception& e) {
        result.failure = Error{QString::fromUtf8(e.what())};
    } catch (...) {
        result.failure = Error{QStringLiteral("the mail component failed")};
    }
    const QStringList files = result.files;
    // The reading gives way to the window: on a busy machine the interface thread gets the CPU
    // first. The next poll's worker starts at the interface thread's own priority again.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kReadingNice);
    QMetaObject::invokeMethod(
        this, [this, result = std::move(result)]() mutable { fetched(std::move(result)); },
        Qt::QueuedConnection);
    for (const QString& element : files) {
        ReadAhead::Mail mail{element, readSafely(mailer_, element), {}};
        // The rules are searched here too: a long report must not hold up the window.
        if (mail.read.ok()) {
            mail.findings = rules.find(mail.read.value().subject, mail.read.value().body);
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

void MailCheck::fetched(FetchOutcome result) {
    // Every configured dial gets its grey hand, whatever the fetch brought, before any report.
    for (int i = 0; i <= context_.state.serverCount; ++i) {
        DrawDialHand(context_.form, context_.clock, i, context_.state.pollColour);
    }
    error_ = result.failure ? result.failure->message : QString();
    withheld_ = result.withheld;
    for (const QString& notice : std::as_const(result.notices)) {
        context_.log.report(notice);
    }
    fetchShown_ = true;
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
    while (std::optional<ReadAhead::Mail> mail = readAhead_.take()) {
        analyse(std::move(*mail));
        if (slice.elapsed() >= sliceBudgetMs_) {
            wakeAnalysis();  // the rest on a later turn of the event loop
            return;
        }
    }
    if (readAhead_.drained()) {
        finish();
    }
    // Otherwise the worker wakes this again once it has read the next mail.
}

void MailCheck::analyse(ReadAhead::Mail mail) {
    if (!mail.read.ok()) {
        // Not marked analysed: the next poll lists it again and reads it then. Said once, not
        // at every poll while the trouble lasts.
        if (!unreadableReported_.contains(mail.element)) {
            unreadableReported_.insert(mail.element);
            context_.log.report(
                QStringLiteral("mail not read yet, tried again at the next poll: %1")
                    .arg(mail.read.error().message));
        }
        return;
    }
    unreadableReported_.remove(mail.element);
    applyFindings(context_, mail.findings, mail.read.value().subject, mail.read.value().body);
    mailer_.markAnalysed(mail.element);
}

void MailCheck::finish() {
    if (!error_.isEmpty()) {
        context_.log.report(QStringLiteral("mail poll failed: %1").arg(error_));
    }
    notice_.setPollFailed(!error_.isEmpty());
    notice_.setWithheldMails(withheld_);
    notice_.setPollOverdue(false);
    overdue_ = false;
    polling_ = false;
    Q_EMIT pollFinished(error_);
}

}  // namespace kervo

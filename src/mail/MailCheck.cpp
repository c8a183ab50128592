#include "mail/MailCheck.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QTimer>

#include "alarm/ReportAnalysis.h"
#include "app/MonitorContext.h"
#include "dials/DialHands.h"

namespace kervo {

namespace {
const QString kCommand = QStringLiteral("SAVEALLD");
const QString kHeader = QStringLiteral("subject:");
}  // namespace

MailCheck::MailCheck(MonitorContext& context, MailComponent& mailer, QString mailFolder,
                     QObject* parent)
    : QObject(parent),
      context_(context),
      mailer_(mailer),
      mailFolder_(std::move(mailFolder)),
      notice_(context.form) {}

MailCheck::~MailCheck() {
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
    if (worker_.joinable()) {
        worker_.join();  // the previous worker has already delivered its result
    }
    // Copies: the worker must never see the state, which belongs to the interface thread.
    const QString server = context_.state.mailServer;
    const QString user = context_.state.mailUser;
    const QString password = context_.state.mailPassword;
    worker_ = std::thread([this, server, user, password] {
        FetchResult result;
        try {
            result = mailer_.RcvMail(server, user, password, kCommand, mailFolder_);
        } catch (const std::exception& e) {
            result.error = QString::fromUtf8(e.what());
        } catch (...) {
            result.error = QStringLiteral("the mail component failed");
        }
        QMetaObject::invokeMethod(
            this, [this, result = std::move(result)]() mutable { fetched(std::move(result)); },
            Qt::QueuedConnection);
    });
    return true;
}

void MailCheck::fetched(FetchResult result) {
    // Every configured dial gets its grey hand, whatever the fetch brought, before any report.
    for (int i = 0; i <= context_.state.serverCount; ++i) {
        DrawDialHand(context_.form, context_.clock, i, context_.state.pollColour);
    }
    error_ = result.error;
    withheld_ = result.withheld;
    for (const QString& notice : std::as_const(result.notices)) {
        context_.log.report(notice);
    }
    pending_ = result.files.value_or(QStringList());
    next_ = 0;
    analyseSome();
}

void MailCheck::analyseSome() {
    QElapsedTimer slice;
    slice.start();
    while (next_ < pending_.size()) {
        const QString element = pending_.at(next_++);
        const std::optional<QStringList> texts = mailer_.ReadMail(element, kHeader, mailFolder_);
        if (texts && texts->size() >= 2) {
            AnalyseReport(context_, texts->at(0), texts->at(1));
        } else {
            context_.log.report(
                QStringLiteral("cannot read the mail file %1; skipped").arg(element));
        }
        // Read or not, the mail has had its turn: it must not come back at every poll.
        mailer_.MarkAnalysed(element, mailFolder_);
        if (slice.elapsed() >= sliceBudgetMs_ && next_ < pending_.size()) {
            QTimer::singleShot(0, this, &MailCheck::analyseSome);
            return;
        }
    }
    finish();
}

void MailCheck::finish() {
    pending_.clear();
    next_ = 0;
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

#include "mail/pop/PopMailbox.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QFileInfo>
#include <QStorageInfo>
#include <exception>

#include "app/TextSafety.h"
#include "mail/mime/MimeReader.h"
#include "mail/pop/CurlPopConnection.h"
#include "mail/pop/PopFetcher.h"
#include "mail/pop/UidlRecord.h"
#include "mail/transport/MailFolder.h"
#include "mail/transport/ServerAddress.h"

namespace kervo {

namespace {

// Held for the whole fetch. The kernel lets go of it when the process ends, however it ends, so
// a fetch killed halfway never leaves a lock behind that blocks every later one.
class FetchLock {
  public:
    explicit FetchLock(const QString& path)
        : fd_(::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)) {
        held_ = fd_ >= 0 && ::flock(fd_, LOCK_EX | LOCK_NB) == 0;
    }
    ~FetchLock() {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    FetchLock(const FetchLock&) = delete;
    FetchLock& operator=(const FetchLock&) = delete;
    bool held() const { return held_; }

  private:
    int fd_;
    bool held_ = false;
};

qint64 diskFreeBytes(const QString& folder) {
    const QStorageInfo storage(folder);
    return storage.isValid() ? storage.bytesAvailable() : -1;
}

}  // namespace

QString withoutSecret(QString text, const QString& secret) {
    if (secret.size() >= 3) {
        text.replace(secret, QStringLiteral("********"));
    }
    return text;
}

PopMailbox::PopMailbox(QString folder) : folder_(std::move(folder)), freeSpace_(diskFreeBytes) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
}

PopMailbox::~PopMailbox() {
    curl_global_cleanup();
}

FetchOutcome PopMailbox::fetchAll(const MailAccount& account) {
    FetchOutcome outcome;
    try {
        outcome = fetch(account);
    } catch (const std::exception& e) {
        outcome.ended =
            Error{QStringLiteral("the mail fetch failed: %1").arg(QString::fromUtf8(e.what()))};
    } catch (...) {
        outcome.ended = Error{QStringLiteral("the mail fetch failed")};
    }
    if (!outcome.ended.ok()) {
        outcome.ended = Error{withoutSecret(outcome.ended.error().message, account.password)};
    }
    return outcome;
}

FetchOutcome PopMailbox::fetch(const MailAccount& account) {
    FetchOutcome outcome;
    MailFolder folder(folder_);
    folder.setTrace(trace_);
    if (Result<void> prepared = folder.prepare(); !prepared.ok()) {
        outcome.ended = prepared.error();
        return outcome;
    }
    // Two monitors sharing a folder would fetch the same mails twice.
    const FetchLock lock(folder.metaDir() + QStringLiteral("/fetch.lock"));
    if (!lock.held()) {
        outcome.ended = Error{QStringLiteral("mail folder: %1 is in use by another fetch")
                                  .arg(QDir::toNativeSeparators(folder.root()))};
        return outcome;
    }
    folder.removeDrafts();
    outcome.files = folder.pending();

    const Result<ServerAddress> parsed = parseServerAddress(account.server);
    if (!parsed.ok()) {
        outcome.ended =
            Error{QStringLiteral("mail server \"%1\": %2")
                      .arg(displaySafe(withoutUserInfo(account.server.trimmed()).left(200)),
                           parsed.error().message)};
        return outcome;
    }
    const ServerAddress& address = parsed.value();
    if (account.user.isEmpty()) {
        outcome.ended = Error{
            QStringLiteral("no mail user is set for the mail server %1").arg(address.display())};
        return outcome;
    }

    UidlRecord record(folder.metaDir() + QStringLiteral("/uidl"));
    if (Result<void> loaded = record.load(); !loaded.ok()) {
        outcome.ended = loaded.error();
        return outcome;
    }

    CurlPopConnection connection;
    if (Result<void> opened =
            connection.open(address, account.user, account.password, timeouts_, logOnMethod_);
        !opened.ok()) {
        outcome.ended = opened.error();
        return outcome;
    }
    if (connection.logOnMethod() != logOnMethod_) {
        logOnMethod_ = connection.logOnMethod();
        outcome.notices.append(
            QStringLiteral("logged on to the mail server %1 as \"%2\" with %3")
                .arg(address.display(), displaySafe(account.user), logOnMethod_));
    }
    FetchOptions options;
    options.timeouts = timeouts_;
    options.maxMailBytes = maxMailBytes_;
    options.freeSpace = freeSpace_;
    options.trace = trace_;
    options.batchMails = batchMails_;
    SessionOutcome session = fetchMailbox(
        connection, QStringLiteral("mail server ") + address.display(), folder, record, options);
    outcome.files.append(session.saved);
    if (session.ended.ok() && pipelined_ != session.pipelined) {
        pipelined_ = session.pipelined;
        outcome.notices.append(session.pipelined
                                   ? QStringLiteral("the mail server %1 takes pipelined commands")
                                         .arg(address.display())
                                   : QStringLiteral("the mail server %1 offers no pipelining: "
                                                    "one command at a time")
                                         .arg(address.display()));
    }
    if (!session.ended.ok()) {
        outcome.ended = session.ended.error();
    }
    outcome.withheld = static_cast<int>(session.skipped.size());
    // Each mail left behind is told once; a session that broke off early saw only some of them,
    // so it forgets none.
    QSet<QString> skippedNow;
    for (const SkippedMail& mail : session.skipped) {
        skippedNow.insert(mail.key);
        if (!skippedReported_.contains(mail.key)) {
            outcome.notices.append(mail.reason);
        }
    }
    skippedReported_ = session.ended.ok() ? skippedNow : skippedReported_ + skippedNow;
    return outcome;
}

Result<ReportText> PopMailbox::readReport(const QString& file) {
    try {
        QString path = file;
        // Already marked analysed: it waits in cur/ for the purge.
        if (const QString analysed = MailFolder(folder_).analysedPath(file);
            !QFileInfo::exists(path) && QFileInfo::exists(analysed)) {
            path = analysed;
        }
        Result<MailTexts> read = readMailFile(path, maxMailBytes_);
        if (!read.ok()) {
            return read.error();
        }
        MailTexts& texts = read.value();
        return ReportText{std::move(texts.subject), std::move(texts.body)};
    } catch (const std::exception& e) {
        return Error{QStringLiteral("the mail file %1 cannot be read: %2")
                         .arg(QDir::toNativeSeparators(file), QString::fromUtf8(e.what()))};
    } catch (...) {
        return Error{
            QStringLiteral("the mail file %1 cannot be read").arg(QDir::toNativeSeparators(file))};
    }
}

void PopMailbox::markAnalysed(const QString& file) {
    try {
        MailFolder(folder_).markAnalysed(file);
    } catch (...) {
        // Nothing to undo: the mail simply stays where it was.
    }
}

void PopMailbox::purgeAnalysed() {
    try {
        MailFolder(folder_).purgeAnalysed();
    } catch (...) {
        // The next purge tries again.
    }
}

}  // namespace kervo

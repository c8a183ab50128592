#include "mail/transport/FolderMailbox.h"

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <exception>

#include "app/TextSafety.h"
#include "mail/mime/MimeReader.h"
#include "mail/transport/MailFolder.h"

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

FolderMailbox::FolderMailbox(QString folder) : folder_(std::move(folder)) {
    options_.freeSpace = diskFreeBytes;
    curl_global_init(CURL_GLOBAL_DEFAULT);
}

FolderMailbox::~FolderMailbox() {
    curl_global_cleanup();
}

FetchOutcome FolderMailbox::fetchAll(const MailAccount& account, const SavedMails& saved) {
    FetchOutcome outcome;
    try {
        outcome = fetch(account, saved);
    } catch (const std::exception& e) {
        outcome.ended =
            Error{QStringLiteral("the mail fetch failed: %1").arg(QString::fromUtf8(e.what()))};
    } catch (...) {
        outcome.ended = Error{QStringLiteral("the mail fetch failed")};
    }
    if (!outcome.ended.ok()) {
        outcome.ended = Error{withoutSecret(outcome.ended.error().message, account.password)};
    }
    for (QString& notice : outcome.notices) {
        notice = withoutSecret(notice, account.password);
    }
    return outcome;
}

FetchOutcome FolderMailbox::fetch(const MailAccount& account, const SavedMails& saved) {
    FetchOutcome outcome;
    MailFolder folder(folder_);
    folder.setTrace(options_.trace);
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
    FetchOptions options = options_;
    options.saved = saved;
    tellSaved(options, outcome.files, outcome.files.size());

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
    fetchFrom(address, account, folder, options, outcome);
    return outcome;
}

void FolderMailbox::noteSkipped(const std::vector<SkippedMail>& skipped, bool sessionWhole,
                                FetchOutcome& outcome) {
    outcome.withheld = static_cast<int>(skipped.size());
    QSet<QString> skippedNow;
    for (const SkippedMail& mail : skipped) {
        skippedNow.insert(mail.key);
        if (!skippedReported_.contains(mail.key)) {
            outcome.notices.append(mail.reason);
        }
    }
    skippedReported_ = sessionWhole ? skippedNow : skippedReported_ + skippedNow;
}

void FolderMailbox::noteOnce(const QString& key, const QString& line, bool holds,
                             FetchOutcome& outcome) {
    if (!holds) {
        toldOnce_.remove(key);
    } else if (!toldOnce_.contains(key)) {
        toldOnce_.insert(key);
        outcome.notices.append(line);
    }
}

Result<ReportText> FolderMailbox::readReport(const QString& file) {
    try {
        Result<MailTexts> read = readMailFile(file, options_.maxMailBytes);
        // Already marked analysed, it waits in cur/ for the purge. Looked for only when the
        // mail is not where it was saved, which spares a lookup per mail of every poll.
        if (!read.ok() && !QFileInfo::exists(file)) {
            if (const QString analysed = MailFolder(folder_).analysedPath(file);
                QFileInfo::exists(analysed)) {
                read = readMailFile(analysed, options_.maxMailBytes);
            }
        }
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

void FolderMailbox::markAnalysed(const QString& file) {
    try {
        MailFolder(folder_).markAnalysed(file);
    } catch (...) {
        // Nothing to undo: the mail simply stays where it was.
    }
}

void FolderMailbox::purgeAnalysed() {
    try {
        MailFolder(folder_).purgeAnalysed();
    } catch (...) {
        // The next purge tries again.
    }
}

}  // namespace kervo

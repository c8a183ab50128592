#include "mail/pop/PopMailComponent.h"

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
#include "mail/pop/MailFolder.h"
#include "mail/pop/PopFetcher.h"
#include "mail/pop/ServerAddress.h"
#include "mail/pop/UidlRecord.h"

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

// Nothing the component says may carry the password, whatever a server or a library echoed.
QString withoutSecret(QString text, const QString& secret) {
    if (secret.size() >= 3) {
        text.replace(secret, QStringLiteral("********"));
    }
    return text;
}

qint64 diskFreeBytes(const QString& folder) {
    const QStorageInfo storage(folder);
    return storage.isValid() ? storage.bytesAvailable() : -1;
}

}  // namespace

PopMailComponent::PopMailComponent() : freeSpace_(diskFreeBytes) {
    curl_global_init(CURL_GLOBAL_DEFAULT);
}

PopMailComponent::~PopMailComponent() {
    curl_global_cleanup();
}

FetchResult PopMailComponent::RcvMail(const QString& mailServer, const QString& mailUser,
                                      const QString& mailPassword, const QString& command,
                                      const QString& folder) {
    FetchResult result;
    try {
        if (command.compare(u"SAVEALLD", Qt::CaseInsensitive) != 0) {
            result.error = QStringLiteral("the mail command \"%1\" is not known")
                               .arg(displaySafe(command.left(40)));
        } else {
            result = fetch(mailServer, mailUser, mailPassword, folder);
        }
    } catch (const std::exception& e) {
        result.error = QStringLiteral("the mail fetch failed: %1").arg(QString::fromUtf8(e.what()));
    } catch (...) {
        result.error = QStringLiteral("the mail fetch failed");
    }
    result.error = withoutSecret(result.error, mailPassword);
    return result;
}

FetchResult PopMailComponent::fetch(const QString& mailServer, const QString& mailUser,
                                    const QString& mailPassword, const QString& folderPath) {
    FetchResult result;
    MailFolder folder(folderPath);
    if (QString error = folder.prepare(); !error.isEmpty()) {
        result.error = error;
        return result;
    }
    // Two monitors sharing a folder would fetch the same mails twice.
    const FetchLock lock(folder.metaDir() + QStringLiteral("/fetch.lock"));
    if (!lock.held()) {
        result.error = QStringLiteral("mail folder: %1 is in use by another fetch")
                           .arg(QDir::toNativeSeparators(folder.root()));
        return result;
    }
    folder.removeDrafts();
    QStringList files = folder.pending();
    result.files = files;

    const ServerAddressParse parsed = parseServerAddress(mailServer);
    if (const QString* error = std::get_if<QString>(&parsed)) {
        result.error =
            QStringLiteral("mail server \"%1\": %2")
                .arg(displaySafe(withoutUserInfo(mailServer.trimmed()).left(200)), *error);
        return result;
    }
    const ServerAddress& address = std::get<ServerAddress>(parsed);
    if (mailUser.isEmpty()) {
        result.error =
            QStringLiteral("no mail user is set for the mail server %1").arg(address.display());
        return result;
    }

    UidlRecord record(folder.metaDir() + QStringLiteral("/uidl"));
    if (QString error = record.load(); !error.isEmpty()) {
        result.error = error;
        return result;
    }

    CurlPopConnection connection;
    if (QString error = connection.open(address, mailUser, mailPassword, timeouts_, logOnMethod_);
        !error.isEmpty()) {
        result.error = error;
        return result;
    }
    if (connection.logOnMethod() != logOnMethod_) {
        logOnMethod_ = connection.logOnMethod();
        result.notices.append(QStringLiteral("logged on to the mail server %1 as \"%2\" with %3")
                                  .arg(address.display(), displaySafe(mailUser), logOnMethod_));
    }
    FetchOptions options;
    options.timeouts = timeouts_;
    options.maxMailBytes = maxMailBytes_;
    options.freeSpace = freeSpace_;
    FetchOutcome outcome = fetchMailbox(
        connection, QStringLiteral("mail server ") + address.display(), folder, record, options);
    files.append(outcome.saved);
    result.files = files;
    result.error = outcome.error;
    result.withheld = static_cast<int>(outcome.skipped.size());
    // Each mail left behind is told once; a session that broke off early saw only some of them,
    // so it forgets none.
    QSet<QString> skippedNow;
    for (const SkippedMail& mail : outcome.skipped) {
        skippedNow.insert(mail.key);
        if (!skippedReported_.contains(mail.key)) {
            result.notices.append(mail.reason);
        }
    }
    skippedReported_ = outcome.error.isEmpty() ? skippedNow : skippedReported_ + skippedNow;
    return result;
}

ReadResult PopMailComponent::ReadMail(const QString& element, const QString& header,
                                      const QString& folder) {
    ReadResult result;
    try {
        QString path = element;
        // Already marked analysed: it waits in cur/ for the purge.
        if (const QString analysed = MailFolder(folder).analysedPath(element);
            !QFileInfo::exists(path) && QFileInfo::exists(analysed)) {
            path = analysed;
        }
        MailFileRead read = readMailFile(path, header, maxMailBytes_);
        result.header = std::move(read.texts.header);
        result.body = std::move(read.texts.body);
        result.error = std::move(read.error);
    } catch (const std::exception& e) {
        result.error = QStringLiteral("the mail file %1 cannot be read: %2")
                           .arg(QDir::toNativeSeparators(element), QString::fromUtf8(e.what()));
    } catch (...) {
        result.error = QStringLiteral("the mail file %1 cannot be read")
                           .arg(QDir::toNativeSeparators(element));
    }
    return result;
}

void PopMailComponent::MarkAnalysed(const QString& element, const QString& folder) {
    try {
        MailFolder(folder).markAnalysed(element);
    } catch (...) {
        // Nothing to undo: the mail simply stays where it was.
    }
}

void PopMailComponent::PurgeAnalysed(const QString& folder) {
    try {
        MailFolder(folder).purgeAnalysed();
    } catch (...) {
        // The next purge tries again.
    }
}

}  // namespace kervo

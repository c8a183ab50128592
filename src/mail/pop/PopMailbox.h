#pragma once

#include <QSet>
#include <QString>
#include <functional>
#include <optional>

#include "mail/Mailbox.h"
#include "mail/mime/MailSize.h"
#include "mail/pop/PopFetcher.h"
#include "mail/transport/MailChannel.h"

namespace kervo {

// Nothing the mailbox says may carry the password, whatever a server or a library echoed: the
// text with each occurrence of the secret (of three characters or more) masked.
QString withoutSecret(QString text, const QString& secret);

// The mailbox on POP3. fetchAll saves every waiting mail into the mail folder and deletes it
// from the server only once it is safely on disk: a fetch that fails at any point loses no
// report, at worst one is analysed twice. The server address forms are those of
// parseServerAddress.
class PopMailbox final : public Mailbox {
  public:
    explicit PopMailbox(QString folder);
    ~PopMailbox() override;
    PopMailbox(const PopMailbox&) = delete;
    PopMailbox& operator=(const PopMailbox&) = delete;

    // Set before the first fetch; not while one runs. The largest mail saved is also the most
    // of a mail file that is read.
    void setTimeouts(const MailTimeouts& timeouts) { timeouts_ = timeouts; }
    void setMaxMailBytes(qint64 bytes) { maxMailBytes_ = bytes; }
    // Bytes free at a folder, negative when unknown; the disk's own figure by default.
    void setFreeSpaceProbe(std::function<qint64(const QString&)> probe) {
        freeSpace_ = std::move(probe);
    }
    // Told each step that makes mails durable and each deletion, in order; for the tests.
    void setTrace(std::function<void(const QString&)> trace) { trace_ = std::move(trace); }
    // Mails fetched and made durable together, at most; for the tests of the batch boundaries.
    void setBatchMails(int mails) { batchMails_ = mails; }

    FetchOutcome fetchAll(const MailAccount& account) override;
    Result<ReportText> readReport(const QString& file) override;
    void markAnalysed(const QString& file) override;
    void purgeAnalysed() override;

  private:
    FetchOutcome fetch(const MailAccount& account);

    const QString folder_;
    MailTimeouts timeouts_;
    qint64 maxMailBytes_ = kMaxMailBytes;
    std::function<qint64(const QString&)> freeSpace_;
    std::function<void(const QString&)> trace_;
    int batchMails_ = FetchOptions{}.batchMails;
    // What earlier fetches already told the operator. Only the fetching thread touches these.
    QString logOnMethod_;
    std::optional<bool> pipelined_;
    QSet<QString> skippedReported_;
};

}  // namespace kervo

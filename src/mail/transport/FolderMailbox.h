#pragma once

#include <QSet>
#include <QString>
#include <functional>
#include <vector>

#include "mail/Mailbox.h"
#include "mail/transport/FetchOptions.h"
#include "mail/transport/ServerAddress.h"

namespace kervo {

class MailFolder;

// Nothing the mailbox says may carry the password, whatever a server or a library echoed: the
// text with each occurrence of the secret (of three characters or more) masked.
QString withoutSecret(QString text, const QString& secret);

// A mailbox whose mails are saved into a mail folder, whichever protocol brings them. What
// every protocol shares lives here: the folder is prepared and locked against a second fetch,
// drafts of a fetch that never finished are removed, the mails saved but never analysed come
// first, the address of line 6 and the user are checked, no error carries the password, and
// the folder operations (reading a report, marking it analysed, the purge). A fetch that fails
// at any point loses no report; at worst one is analysed twice.
class FolderMailbox : public Mailbox {
  public:
    explicit FolderMailbox(QString folder);
    ~FolderMailbox() override;
    FolderMailbox(const FolderMailbox&) = delete;
    FolderMailbox& operator=(const FolderMailbox&) = delete;

    // Set before the first fetch; not while one runs. The largest mail saved is also the most
    // of a mail file that is read.
    void setTimeouts(const MailTimeouts& timeouts) { options_.timeouts = timeouts; }
    void setMaxMailBytes(qint64 bytes) { options_.maxMailBytes = bytes; }
    // Bytes free at a folder, negative when unknown; the disk's own figure by default.
    void setFreeSpaceProbe(std::function<qint64(const QString&)> probe) {
        options_.freeSpace = std::move(probe);
    }
    // Told each step that makes mails durable and each removal, in order; for the tests.
    void setTrace(std::function<void(const QString&)> trace) { options_.trace = std::move(trace); }
    // Mails fetched and made durable together, at most; for the tests of the batch boundaries.
    void setBatchMails(int mails) { options_.batchMails = mails; }

    using Mailbox::fetchAll;
    FetchOutcome fetchAll(const MailAccount& account, const SavedMails& saved) final;
    Result<ReportText> readReport(const QString& file) final;
    void markAnalysed(const QString& file) final;
    void purgeAnalysed() final;

  protected:
    // Fetches from the server into the prepared and locked folder, appending to outcome.files
    // (which already lists the mails waiting from before) and outcome.notices.
    virtual void fetchFrom(const ServerAddress& address, const MailAccount& account,
                           MailFolder& folder, const FetchOptions& options,
                           FetchOutcome& outcome) = 0;
    // Counts the mails left on the server and tells each one once, not at every poll. A
    // session that broke off early saw only some of them, so it forgets none.
    void noteSkipped(const std::vector<SkippedMail>& skipped, bool sessionWhole,
                     FetchOutcome& outcome);
    // Tells the line once, until the next fetch that has no reason to tell it.
    void noteOnce(const QString& key, const QString& line, bool holds, FetchOutcome& outcome);

  private:
    FetchOutcome fetch(const MailAccount& account, const SavedMails& saved);

    const QString folder_;
    FetchOptions options_;
    // What earlier fetches already told the operator. Only the fetching thread touches these.
    QSet<QString> skippedReported_;
    QSet<QString> toldOnce_;
};

}  // namespace kervo

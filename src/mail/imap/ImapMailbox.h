#pragma once

#include <QString>

#include "mail/transport/FolderMailbox.h"

namespace kervo {

// The mailbox on IMAP: at every poll the mailbox named on line 6 (INBOX by default) is emptied
// into the mail folder, each message removed from the server only once it is safely on disk.
class ImapMailbox final : public FolderMailbox {
  public:
    using FolderMailbox::FolderMailbox;

  protected:
    void fetchFrom(const ServerAddress& address, const MailAccount& account, MailFolder& folder,
                   const FetchOptions& options, FetchOutcome& outcome) override;

  private:
    QString logOnMethod_;  // what an earlier fetch already told; the fetching thread's alone
};

}  // namespace kervo

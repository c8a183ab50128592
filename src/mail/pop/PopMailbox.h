#pragma once

#include <QString>
#include <optional>

#include "mail/transport/FolderMailbox.h"

namespace kervo {

// The mailbox on POP3. Every waiting mail is saved into the mail folder and deleted from the
// server only once it is safely on disk. The server address forms are those of
// parseServerAddress.
class PopMailbox final : public FolderMailbox {
  public:
    using FolderMailbox::FolderMailbox;

  protected:
    void fetchFrom(const ServerAddress& address, const MailAccount& account, MailFolder& folder,
                   const FetchOptions& options, FetchOutcome& outcome) override;

  private:
    // What earlier fetches already told the operator. Only the fetching thread touches these.
    QString logOnMethod_;
    std::optional<bool> pipelined_;
};

}  // namespace kervo

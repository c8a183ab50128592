#pragma once

#include <QString>
#include <optional>

#include "app/Result.h"
#include "mail/Mailbox.h"
#include "mail/transport/ServerCheckReport.h"

namespace kervo {

// The operator's connection check: connects, secures and logs on exactly as a poll does, asks
// STAT and logs off with QUIT. Never retrieves or deletes a mail. The account must already be
// known to be usable (a line 6 that parses, a user name).
[[nodiscard]] Result<ServerCheckReport, ServerCheckFailure> checkServer(
    const ServerAddress& address, const MailAccount& account, const MailTimeouts& timeouts);

}  // namespace kervo

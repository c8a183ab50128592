#pragma once

#include "app/Result.h"
#include "mail/Mailbox.h"
#include "mail/transport/ServerCheckReport.h"

namespace kervo {

// The operator's connection check of an IMAP server: connects, secures and logs on exactly as a
// poll does, looks at the mailbox read-only (EXAMINE) to count its messages and logs out. Never
// fetches, marks or expunges a message. The account must already be known to be usable (a line
// 6 that parses, a user name).
[[nodiscard]] Result<ServerCheckReport, ServerCheckFailure> checkImapServer(
    const ServerAddress& address, const MailAccount& account, const MailTimeouts& timeouts);

}  // namespace kervo

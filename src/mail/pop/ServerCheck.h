#pragma once

#include <QString>
#include <optional>

#include "app/Result.h"
#include "mail/Mailbox.h"
#include "mail/pop/CurlPopConnection.h"
#include "mail/pop/PopLogOn.h"
#include "mail/pop/PopSession.h"
#include "mail/transport/ConnectionFacts.h"
#include "mail/transport/MailChannel.h"

namespace kervo {

// What a good connection check found.
struct ServerCheckReport {
    ConnectionFacts connection;
    LogOnMethod method;
    MailboxSize waiting;
};

// Where and why a connection check failed. The message never holds the password.
struct ServerCheckFailure {
    OpenStep step = OpenStep::LogOn;
    bool mailbox = false;  // logged on, then the mailbox could not be counted
    QString message;
    // The certificate the server presented when TLS refused it, to judge and perhaps pin.
    std::optional<CertificateFacts> presented;
};

// The operator's connection check: connects, secures and logs on exactly as a poll does, asks
// STAT and logs off with QUIT. Never retrieves or deletes a mail. The account must already be
// known to be usable (a line 6 that parses, a user name).
[[nodiscard]] Result<ServerCheckReport, ServerCheckFailure> checkServer(
    const ServerAddress& address, const MailAccount& account, const MailTimeouts& timeouts);

}  // namespace kervo

#pragma once

#include <QString>
#include <optional>

#include "mail/transport/ConnectionFacts.h"
#include "mail/transport/CurlChannel.h"

namespace kervo {

// How many mails wait and their size together (POP3: what STAT says).
struct MailboxSize {
    qint64 mails = 0;
    qint64 bytes = 0;
};

// What a good connection check found.
struct ServerCheckReport {
    ConnectionFacts connection;
    QString method;  // the log-on method, e.g. "SASL PLAIN"
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

}  // namespace kervo

#pragma once

#include <QString>

#include "app/Result.h"
#include "mail/transport/CurlChannel.h"
#include "mail/transport/ServerAddress.h"

namespace kervo {

// Connection, TLS (and STARTTLS) and log-on by the transfer library; from then on the library
// only carries bytes and the IMAP dialogue is ImapSession's. The library's own commands are not
// used after the log-on: they select, fetch and expunge on their own terms. auth=any lets the
// library pick the strongest method offered, auth=plain asks for SASL PLAIN, auth=user for the
// LOGIN command.
class CurlImapConnection final : public CurlChannel {
  public:
    // On failure the Error names the server; the password is never part of it.
    Result<void> open(const ServerAddress& address, const QString& user, const QString& password,
                      const MailTimeouts& timeouts);
    // The method of the last successful log-on, e.g. "SASL PLAIN" or "LOGIN".
    const QString& logOnMethod() const { return method_; }
    // The step at which the last open() failed.
    OpenStep failedStep() const { return failedStep_; }

  private:
    QString method_;
    OpenStep failedStep_ = OpenStep::LogOn;
};

}  // namespace kervo

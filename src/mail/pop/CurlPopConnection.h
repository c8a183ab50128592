#pragma once

#include <QString>

#include "app/Result.h"
#include "mail/pop/PopLogOn.h"
#include "mail/transport/CurlChannel.h"
#include "mail/transport/ServerAddress.h"

namespace kervo {

// Connection, TLS and log-on by the transfer library; from then on the library only carries
// bytes. Its own POP3 commands are not used after the log-on: it reports a RETR cut off
// halfway as a success, and after any failing command it silently reconnects, which commits
// the deletions of the old session and renumbers the mails. In connect-only mode it stops
// right after the log-on (greeting, CAPA, STLS, authentication) and, when the handle is
// cleaned up, closes the socket without a QUIT of its own, so a dropped session commits
// nothing. The library tries one log-on method per connection and knows no USER/PASS of its
// own when the server also offers APOP, so a refused method is followed by a new connection
// with the next one, and USER/PASS is sent here.
class CurlPopConnection final : public CurlChannel {
  public:
    // Connects, secures and logs on, starting with `preferred` (the method that worked last
    // time) when it is given. On failure the Error names the server; the password is never
    // part of it.
    Result<void> open(const ServerAddress& address, const QString& user, const QString& password,
                      const MailTimeouts& timeouts, const LogOnMethod& preferred = {});
    // The method of the last successful log-on: "APOP", "USER/PASS", "SASL CRAM-MD5", ...
    const LogOnMethod& logOnMethod() const { return method_; }
    // The step at which the last open() failed.
    OpenStep failedStep() const { return failedStep_; }

  private:
    LogOnMethod method_;
    OpenStep failedStep_ = OpenStep::LogOn;
};

}  // namespace kervo

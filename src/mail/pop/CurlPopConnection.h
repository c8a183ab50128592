#pragma once

#include <curl/curl.h>

#include <QString>

#include "app/Result.h"
#include "mail/pop/ConnectionFacts.h"
#include "mail/pop/PopChannel.h"
#include "mail/pop/PopLogOn.h"
#include "mail/pop/ServerAddress.h"

namespace kervo {

// The steps of opening a session, in order, as the connection check names the one that failed.
enum class OpenStep { NameResolution, Connection, Tls, LogOn };

// Connection, TLS and log-on by the transfer library; from then on the library only carries
// bytes. Its own POP3 commands are not used after the log-on: it reports a RETR cut off
// halfway as a success, and after any failing command it silently reconnects, which commits
// the deletions of the old session and renumbers the mails. In connect-only mode it stops
// right after the log-on (greeting, CAPA, STLS, authentication) and, when the handle is
// cleaned up, closes the socket without a QUIT of its own, so a dropped session commits
// nothing. The library tries one log-on method per connection and knows no USER/PASS of its
// own when the server also offers APOP, so a refused method is followed by a new connection
// with the next one, and USER/PASS is sent here.
class CurlPopConnection final : public PopChannel {
  public:
    CurlPopConnection() = default;
    ~CurlPopConnection() override;  // drops the connection without QUIT
    CurlPopConnection(const CurlPopConnection&) = delete;
    CurlPopConnection& operator=(const CurlPopConnection&) = delete;

    // Connects, secures and logs on, starting with `preferred` (the method that worked last
    // time) when it is given. On failure the Error names the server; the password is never
    // part of it.
    Result<void> open(const ServerAddress& address, const QString& user, const QString& password,
                      const PopTimeouts& timeouts, const LogOnMethod& preferred = {});
    // The method of the last successful log-on: "APOP", "USER/PASS", "SASL CRAM-MD5", ...
    const LogOnMethod& logOnMethod() const { return method_; }
    // The step at which the last open() failed.
    OpenStep failedStep() const { return failedStep_; }
    // The address, TLS version and certificate of the open connection.
    ConnectionFacts facts() const { return describeConnection(curl_, tls_); }

    Result<void> sendAll(QByteArrayView bytes, int timeoutMs) override;
    Received receive(char* buffer, qsizetype max, int timeoutMs) override;

  private:
    // Why the transfer library did not connect and log on, in its own terms.
    struct LibraryFailure {
        CURLcode code = CURLE_OK;
        QString detail;  // the library's own words; may be empty
    };
    Result<void, LibraryFailure> connect(const ServerAddress& address, const QByteArray& user,
                                         const QByteArray& password, const LogOnStep& step,
                                         const PopTimeouts& timeouts, LogOnDialogue& seen);
    void close();

    CURL* curl_ = nullptr;
    curl_socket_t socket_ = CURL_SOCKET_BAD;
    LogOnMethod method_;
    OpenStep failedStep_ = OpenStep::LogOn;
    ConnectionFacts tls_;  // the TLS version and certificate, noted during the log-on
};

}  // namespace kervo

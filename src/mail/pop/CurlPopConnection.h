#pragma once

#include <curl/curl.h>

#include <QString>

#include "mail/pop/PopChannel.h"
#include "mail/pop/ServerAddress.h"

namespace kervo {

// Connection, TLS and log-on by the transfer library; from then on the library only carries
// bytes. Its own POP3 commands are not used after the log-on: it reports a RETR cut off
// halfway as a success, and after any failing command it silently reconnects, which commits
// the deletions of the old session and renumbers the mails. In connect-only mode it stops
// right after the log-on (greeting, CAPA, STLS, authentication) and, when the handle is
// cleaned up, closes the socket without a QUIT of its own, so a dropped session commits
// nothing.
class CurlPopConnection final : public PopChannel {
  public:
    CurlPopConnection() = default;
    ~CurlPopConnection() override;  // drops the connection without QUIT
    CurlPopConnection(const CurlPopConnection&) = delete;
    CurlPopConnection& operator=(const CurlPopConnection&) = delete;

    // Connects, secures and logs on. An error text naming the server on failure; the password
    // is never part of it.
    QString open(const ServerAddress& address, const QString& user, const QString& password,
                 const PopTimeouts& timeouts);

    QString sendAll(QByteArrayView bytes, int timeoutMs) override;
    Received receive(char* buffer, qsizetype max, int timeoutMs) override;

  private:
    void close();

    CURL* curl_ = nullptr;
    curl_socket_t socket_ = CURL_SOCKET_BAD;
};

}  // namespace kervo

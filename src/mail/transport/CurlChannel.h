#pragma once

#include <curl/curl.h>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>

#include "app/Result.h"
#include "mail/transport/ConnectionFacts.h"
#include "mail/transport/MailChannel.h"
#include "mail/transport/ServerAddress.h"

namespace kervo {

// The steps of opening a session, in order, as the connection check names the one that failed.
enum class OpenStep { NameResolution, Connection, Tls, LogOn };

// What the transfer library is asked to do before it hands the connection over.
struct CurlLogOn {
    QByteArray user;          // empty: connect and secure only, no log-on
    QByteArray password;      // the library keeps its own copy only as long as its handle lives
    QByteArray loginOptions;  // e.g. "AUTH=*", "AUTH=PLAIN", "AUTH=+LOGIN"
};

// Why the transfer library did not connect and log on, in its own terms.
struct CurlFailure {
    CURLcode code = CURLE_OK;
    QString detail;  // the library's own words; may be empty
};

// Told each line of the dialogue the library held to connect, secure and log on; fromServer
// says which side spoke.
using DialogueWatcher = std::function<void(QByteArrayView line, bool fromServer)>;

// A connection the transfer library opens, secures (cafile=, pin=, the name check, STARTTLS
// refused when not offered) and logs on to, in connect-only mode; from then on the library only
// carries bytes, and the dialogue is our own. Shared by the POP3 and the IMAP side, which differ
// only in the URL and in what they do with the bytes. Dropped, it closes the socket without a
// word of its own, so a dropped session commits nothing.
class CurlChannel : public MailChannel {
  public:
    CurlChannel() = default;
    ~CurlChannel() override;
    CurlChannel(const CurlChannel&) = delete;
    CurlChannel& operator=(const CurlChannel&) = delete;

    // The address, TLS version and certificate of the open connection.
    ConnectionFacts facts() const { return describeConnection(curl_, tls_); }

    Result<void> sendAll(QByteArrayView bytes, int timeoutMs) override;
    Received receive(char* buffer, qsizetype max, int timeoutMs) override;

  protected:
    Result<void, CurlFailure> connect(const ServerAddress& address, const CurlLogOn& logOn,
                                      const MailTimeouts& timeouts, const DialogueWatcher& watch);
    void close();
    bool isOpen() const { return curl_ != nullptr; }

  private:
    CURL* curl_ = nullptr;
    curl_socket_t socket_ = CURL_SOCKET_BAD;
    ConnectionFacts tls_;  // the TLS version and certificate, noted during the log-on
};

// The operator's text for a connection that failed, naming the server.
QString openErrorText(const CurlFailure& failure, const ServerAddress& address);
// The step a failure of the library belongs to.
OpenStep stepOf(CURLcode code);

}  // namespace kervo

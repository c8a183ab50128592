#pragma once

#include <curl/curl.h>

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <functional>
#include <mutex>
#include <vector>

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

// The sockets the transfer library opened for one connection, so that another thread can end a
// wait on them at once: shutting a socket down makes every wait on it return, inside the
// library's connect and log-on as much as in ours.
class InterruptibleSockets {
  public:
    // For the library's socket callbacks.
    curl_socket_t open(int family, int type, int protocol);
    int close(curl_socket_t socket);
    // Every open socket is shut down and none opens from now on.
    void interrupt();

  private:
    std::mutex lock_;
    bool interrupted_ = false;
    std::vector<curl_socket_t> sockets_;
};

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

    // From another thread: the connecting, sending or waiting under way ends at once with a
    // failure, and so does every later use. For a watcher that is told to stop while it waits.
    void interrupt() { sockets_.interrupt(); }

  protected:
    Result<void, CurlFailure> connect(const ServerAddress& address, const CurlLogOn& logOn,
                                      const MailTimeouts& timeouts, const DialogueWatcher& watch);
    void close();
    bool isOpen() const { return curl_ != nullptr; }

  private:
    CURL* curl_ = nullptr;
    curl_socket_t socket_ = CURL_SOCKET_BAD;
    ConnectionFacts tls_;  // the TLS version and certificate, noted during the log-on
    InterruptibleSockets sockets_;
};

// The operator's text for a connection that failed, naming the server.
QString openErrorText(const CurlFailure& failure, const ServerAddress& address);
// The step a failure of the library belongs to.
OpenStep stepOf(CURLcode code);

}  // namespace kervo

#pragma once

#include <QByteArray>
#include <QString>

#include "app/Result.h"

namespace kervo {

enum class PopTls {
    None,      // plain POP3
    StartTls,  // plain connection upgraded with STLS before the log-on; refused if not offered
    Implicit,  // TLS from the first byte (POP3S)
};

enum class PopAuth {
    Any,    // whatever the server offers, strongest first; a refused method makes way for the next
    Apop,   // APOP only: the password never crosses the wire, even without TLS
    Plain,  // SASL PLAIN only
    User,   // USER and PASS only, for servers that announce methods they cannot serve
};

// Where the mailbox is and how to reach it, as line 6 of kervo.ini writes it.
struct ServerAddress {
    PopTls tls = PopTls::None;
    QString host;  // IPv6 literals without brackets
    int port = 110;
    QString caFile;  // PEM bundle trusted instead of the system store
    QString pin;     // "sha256//<base64>" keys, ';'-separated; checked on every TLS connection
    PopAuth auth = PopAuth::Any;

    // "host:port" for texts the operator reads, IPv6 in brackets.
    QString display() const;
    // The URL given to the transfer library; never carries a user name or a password.
    QByteArray url() const;
};

// Accepts a bare host name ("mail.example.com", plain POP3 on port 110), "host:port",
// "[v6]:port", "pop3://host[:port]", "pop3s://host[:port]" (TLS, 995) and
// "pop3+stls://host[:port]" (STLS, 110), each optionally followed by "?key=value&..." with the
// keys tls (=starttls), cafile, pin and auth (=apop, plain, user or any). The Error says what is
// wrong with the line.
Result<ServerAddress> parseServerAddress(const QString& line);

}  // namespace kervo

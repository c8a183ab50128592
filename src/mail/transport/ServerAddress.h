#pragma once

#include <QByteArray>
#include <QString>

#include "app/Result.h"

namespace kervo {

enum class MailProtocol { Pop3, Imap };

enum class MailTls {
    None,      // plain text throughout
    StartTls,  // plain connection upgraded (STLS, STARTTLS) before the log-on; refused if not
               // offered
    Implicit,  // TLS from the first byte (POP3S, IMAPS)
};

enum class MailAuth {
    Any,    // whatever the server offers, strongest first; a refused method makes way for the next
    Apop,   // APOP only: the password never crosses the wire, even without TLS (POP3 only)
    Plain,  // SASL PLAIN only
    User,   // USER and PASS (IMAP: LOGIN) only, for servers that announce methods they cannot
            // serve
};

// Where the mailbox is and how to reach it, as line 6 of kervo.ini writes it.
struct ServerAddress {
    MailProtocol protocol = MailProtocol::Pop3;
    MailTls tls = MailTls::None;
    QString host;  // IPv6 literals without brackets
    int port = 110;
    QString caFile;  // PEM bundle trusted instead of the system store
    QString pin;     // "sha256//<base64>" keys, ';'-separated; checked on every TLS connection
    MailAuth auth = MailAuth::Any;
    QString mailbox;  // IMAP only: the mailbox emptied, "INBOX" unless mailbox= says otherwise

    // "POP3" or "IMAP".
    QString protocolName() const;
    // The schemes the transfer library may use for this address, e.g. "imap,imaps".
    QByteArray protocols() const;

    // "host:port" for texts the operator reads, IPv6 in brackets.
    QString display() const;
    // The form understood, for the operator's check, e.g. "IMAP with STARTTLS at mx:143,
    // mailbox \"INBOX\", log-on any".
    QString form() const;
    // The URL given to the transfer library; never carries a user name or a password.
    QByteArray url() const;
};

// Accepts a bare host name ("mail.example.com", plain POP3 on port 110), "host:port",
// "[v6]:port", "pop3://host[:port]", "pop3s://host[:port]" (TLS, 995) and
// "pop3+stls://host[:port]" (STLS, 110), "imap://host[:port]" (143), "imaps://host[:port]"
// (TLS, 993) and "imap+stls://host[:port]" (STARTTLS, 143), each optionally followed by
// "?key=value&..." with the keys tls (=starttls), cafile, pin, auth (=apop, plain, user or any;
// apop only for POP3) and, for IMAP, mailbox. The Error says what is wrong with the line.
Result<ServerAddress> parseServerAddress(const QString& line);

}  // namespace kervo

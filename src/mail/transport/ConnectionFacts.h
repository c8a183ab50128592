#pragma once

#include <curl/curl.h>

#include <QString>
#include <optional>

#include "mail/transport/MailChannel.h"
#include "mail/transport/ServerAddress.h"

namespace kervo {

// The certificate a server showed, as the operator checks it and pins it.
struct CertificateFacts {
    QString subject;
    QString issuer;
    QString expires;  // ISO date and time, UTC
    QString pin;      // sha256//BASE64 of the public key, as line 6 takes it after pin=
};

// What an open connection shows of the server.
struct ConnectionFacts {
    QString peer;        // the address connected to, e.g. "127.0.0.1 port 995"
    QString tlsVersion;  // e.g. "TLSv1.3"; empty on a plain connection
    std::optional<CertificateFacts> certificate;  // none on a plain connection
};

// Notes the TLS version and the server's certificate once the handle's TLS is up. Called from
// the transfer library's debug callback during the log-on: only then does the handle show its
// TLS session (after a connect-only transfer it no longer does). Does nothing before TLS is up,
// on a plain connection, or once noted.
void noteTls(CURL* handle, ConnectionFacts& facts);

// The address a connected handle reached, added to the TLS facts noted during its log-on.
ConnectionFacts describeConnection(CURL* handle, ConnectionFacts noted);

// Connects and starts TLS without checking the certificate, only to show the operator the
// certificate a server presents when the checked connection refused it. Never logs on and sends
// no user name or password. Nothing when no certificate could be seen.
std::optional<CertificateFacts> lookAtCertificate(const ServerAddress& address,
                                                  const MailTimeouts& timeouts);

}  // namespace kervo

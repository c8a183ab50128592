#include "mail/transport/ConnectionFacts.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <QByteArray>
#include <QCryptographicHash>
#include <ctime>
#include <memory>

#include "app/TextSafety.h"

namespace kervo {

namespace {

struct BioFree {
    void operator()(BIO* bio) const { BIO_free(bio); }
};
struct X509Free {
    void operator()(X509* certificate) const { X509_free(certificate); }
};

QString nameText(const X509_NAME* name) {
    const std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
    if (!bio || X509_NAME_print_ex(bio.get(), name, 0, XN_FLAG_RFC2253) < 0) {
        return {};
    }
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    // The names come from the network.
    return displaySafe(QString::fromUtf8(data, static_cast<qsizetype>(size)));
}

QString timeText(const ASN1_TIME* time) {
    std::tm parts{};
    if (time == nullptr || ASN1_TIME_to_tm(time, &parts) != 1) {
        return {};
    }
    return QStringLiteral("%1-%2-%3 %4:%5:%6 UTC")
        .arg(parts.tm_year + 1900)
        .arg(parts.tm_mon + 1, 2, 10, QLatin1Char('0'))
        .arg(parts.tm_mday, 2, 10, QLatin1Char('0'))
        .arg(parts.tm_hour, 2, 10, QLatin1Char('0'))
        .arg(parts.tm_min, 2, 10, QLatin1Char('0'))
        .arg(parts.tm_sec, 2, 10, QLatin1Char('0'));
}

// The pin the transfer library compares: SHA-256 of the DER form of the public key as the
// certificate carries it (SubjectPublicKeyInfo).
QString pinOf(X509* certificate) {
    unsigned char* der = nullptr;
    const int size = i2d_X509_PUBKEY(X509_get_X509_PUBKEY(certificate), &der);
    if (size <= 0) {
        return {};
    }
    const QByteArray key(reinterpret_cast<const char*>(der), size);
    OPENSSL_free(der);
    return QStringLiteral("sha256//") +
           QString::fromLatin1(
               QCryptographicHash::hash(key, QCryptographicHash::Sha256).toBase64());
}

int noteTlsOnly(CURL* handle, curl_infotype type, char* /*data*/, size_t /*size*/, void* facts) {
    if (type == CURLINFO_HEADER_IN) {
        noteTls(handle, *static_cast<ConnectionFacts*>(facts));
    }
    return 0;
}

}  // namespace

void noteTls(CURL* handle, ConnectionFacts& facts) {
    if (!facts.tlsVersion.isEmpty()) {
        return;
    }
    curl_tlssessioninfo* tls = nullptr;
    if (curl_easy_getinfo(handle, CURLINFO_TLS_SSL_PTR, &tls) != CURLE_OK || tls == nullptr ||
        tls->backend != CURLSSLBACKEND_OPENSSL || tls->internals == nullptr) {
        return;
    }
    SSL* ssl = static_cast<SSL*>(tls->internals);
    if (SSL_is_init_finished(ssl) != 1) {
        return;
    }
    facts.tlsVersion = QString::fromLatin1(SSL_get_version(ssl));
    const std::unique_ptr<X509, X509Free> certificate(SSL_get1_peer_certificate(ssl));
    if (certificate) {
        facts.certificate = CertificateFacts{nameText(X509_get_subject_name(certificate.get())),
                                             nameText(X509_get_issuer_name(certificate.get())),
                                             timeText(X509_get0_notAfter(certificate.get())),
                                             pinOf(certificate.get())};
    }
}

ConnectionFacts describeConnection(CURL* handle, ConnectionFacts noted) {
    char* ip = nullptr;
    long port = 0;
    if (handle != nullptr && curl_easy_getinfo(handle, CURLINFO_PRIMARY_IP, &ip) == CURLE_OK &&
        ip != nullptr && curl_easy_getinfo(handle, CURLINFO_PRIMARY_PORT, &port) == CURLE_OK) {
        noted.peer = QStringLiteral("%1 port %2").arg(QString::fromLatin1(ip)).arg(port);
    }
    return noted;
}

std::optional<CertificateFacts> lookAtCertificate(const ServerAddress& address,
                                                  const MailTimeouts& timeouts) {
    if (address.tls == MailTls::None) {
        return std::nullopt;
    }
    CURL* handle = curl_easy_init();
    if (handle == nullptr) {
        return std::nullopt;
    }
    const QByteArray url = address.url();
    curl_easy_setopt(handle, CURLOPT_URL, url.constData());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, address.protocols().constData());
    curl_easy_setopt(handle, CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connectMs));
    if (address.tls == MailTls::StartTls) {
        curl_easy_setopt(handle, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    }
    // Only to look: without a user name the library stops once TLS is up.
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, 0L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, 0L);
    ConnectionFacts seen;
    curl_easy_setopt(handle, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(handle, CURLOPT_DEBUGFUNCTION, &noteTlsOnly);
    curl_easy_setopt(handle, CURLOPT_DEBUGDATA, &seen);
    (void)curl_easy_perform(handle);
    curl_easy_cleanup(handle);
    return seen.certificate;
}

}  // namespace kervo

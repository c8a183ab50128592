#include "mail/pop/CurlPopConnection.h"

#include <poll.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <array>
#include <cerrno>

#include "app/TextSafety.h"

namespace kervo {

namespace {

// Waits until the socket is ready for the given events; false on timeout.
bool waitFor(curl_socket_t socket, short events, QDeadlineTimer deadline) {
    for (;;) {
        const qint64 remaining = deadline.remainingTime();
        if (remaining == 0) {
            return false;
        }
        pollfd fd{socket, events, 0};
        const int timeout = remaining < 0 ? -1 : static_cast<int>(qMin<qint64>(remaining, 60'000));
        const int ready = ::poll(&fd, 1, timeout);
        if (ready > 0) {
            return true;  // errors and hang-ups show up in the following send or receive
        }
        if (ready < 0 && errno != EINTR) {
            return true;
        }
    }
}

QString libraryText(CURLcode code, const char* detail) {
    QString text = QString::fromUtf8(detail).trimmed();
    if (text.isEmpty()) {
        text = QString::fromUtf8(curl_easy_strerror(code));
    }
    // The detail may quote the server; keep it short and harmless on screen.
    return displaySafe(text.left(300));
}

QString openError(CURLcode code, const char* detail, const ServerAddress& address,
                  const QString& user) {
    const QString where = address.display();
    const QString why = libraryText(code, detail);
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return QStringLiteral("cannot find the mail server %1: %2").arg(where, why);
        case CURLE_COULDNT_CONNECT:
            return QStringLiteral("cannot connect to the mail server %1: %2").arg(where, why);
        case CURLE_OPERATION_TIMEDOUT:
            return QStringLiteral("the mail server %1 did not answer in time: %2").arg(where, why);
        case CURLE_LOGIN_DENIED:
            return QStringLiteral("the mail server %1 refused the log-on of user \"%2\"")
                .arg(where, displaySafe(user));
        case CURLE_USE_SSL_FAILED:
            return QStringLiteral("the mail server %1 does not offer STLS").arg(where);
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
            return QStringLiteral("the TLS certificate of the mail server %1 is not trusted: %2")
                .arg(where, why);
        case CURLE_SSL_CACERT_BADFILE:
            return QStringLiteral("the CA file %1 cannot be used: %2")
                .arg(displaySafe(address.caFile), why);
        case CURLE_SSL_CONNECT_ERROR:
            return QStringLiteral("TLS with the mail server %1 failed: %2").arg(where, why);
        case CURLE_WEIRD_SERVER_REPLY:
            return QStringLiteral("the mail server %1 does not answer like a POP3 server: %2")
                .arg(where, why);
        default:
            return QStringLiteral("log-on to the mail server %1 failed: %2").arg(where, why);
    }
}

}  // namespace

CurlPopConnection::~CurlPopConnection() {
    close();
}

void CurlPopConnection::close() {
    if (curl_ != nullptr) {
        curl_easy_cleanup(curl_);
        curl_ = nullptr;
    }
    socket_ = CURL_SOCKET_BAD;
}

QString CurlPopConnection::open(const ServerAddress& address, const QString& user,
                                const QString& password, const PopTimeouts& timeouts) {
    close();
    if (!address.caFile.isEmpty() && !QFileInfo(address.caFile).isReadable()) {
        return QStringLiteral("the CA file %1 for the mail server %2 cannot be read")
            .arg(displaySafe(address.caFile), address.display());
    }
    curl_ = curl_easy_init();
    if (curl_ == nullptr) {
        return QStringLiteral("the transfer library cannot start a connection");
    }
    std::array<char, CURL_ERROR_SIZE> detail{};
    const QByteArray url = address.url();
    const QByteArray userBytes = user.toUtf8();
    QByteArray secret = password.toUtf8();
    const QByteArray caFile = QFile::encodeName(address.caFile);
    const QByteArray pin = address.pin.toLatin1();

    curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, detail.data());
    curl_easy_setopt(curl_, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl_, CURLOPT_PROTOCOLS_STR, "pop3,pop3s");
    curl_easy_setopt(curl_, CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl_, CURLOPT_USERNAME, userBytes.constData());
    curl_easy_setopt(curl_, CURLOPT_PASSWORD, secret.constData());
    // The library counts TLS and the log-on as part of connecting.
    curl_easy_setopt(curl_, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connectMs));
    curl_easy_setopt(curl_, CURLOPT_SERVER_RESPONSE_TIMEOUT,
                     static_cast<long>((timeouts.responseMs + 999) / 1000));
    if (address.tls == PopTls::StartTls) {
        curl_easy_setopt(curl_, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_ALL));
    }
    if (!address.caFile.isEmpty()) {
        curl_easy_setopt(curl_, CURLOPT_CAINFO, caFile.constData());
    }
    if (!address.pin.isEmpty()) {
        curl_easy_setopt(curl_, CURLOPT_PINNEDPUBLICKEY, pin.constData());
        if (address.caFile.isEmpty()) {
            // A pinned key alone stands for a self-signed server: the key is the trust, so no
            // chain or name is asked for.
            curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYPEER, 0L);
            curl_easy_setopt(curl_, CURLOPT_SSL_VERIFYHOST, 0L);
        }
    }
    if (address.auth == PopAuth::Apop) {
        curl_easy_setopt(curl_, CURLOPT_LOGIN_OPTIONS, "AUTH=+APOP");
    } else if (address.auth == PopAuth::Plain) {
        curl_easy_setopt(curl_, CURLOPT_LOGIN_OPTIONS, "AUTH=PLAIN");
    }

    const CURLcode code = curl_easy_perform(curl_);
    // The library keeps its own copy; ours goes as soon as it is no longer needed.
    secret.fill('\0');
    curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, nullptr);
    if (code != CURLE_OK) {
        const QString error = openError(code, detail.data(), address, user);
        close();
        return error;
    }
    curl_socket_t socket = CURL_SOCKET_BAD;
    if (curl_easy_getinfo(curl_, CURLINFO_ACTIVESOCKET, &socket) != CURLE_OK ||
        socket == CURL_SOCKET_BAD) {
        close();
        return QStringLiteral("the connection to the mail server %1 was lost after the log-on")
            .arg(address.display());
    }
    socket_ = socket;
    return {};
}

QString CurlPopConnection::sendAll(QByteArrayView bytes, int timeoutMs) {
    if (curl_ == nullptr) {
        return QStringLiteral("not connected");
    }
    const QDeadlineTimer deadline(timeoutMs);
    qsizetype done = 0;
    while (done < bytes.size()) {
        size_t sent = 0;
        const CURLcode code = curl_easy_send(curl_, bytes.data() + done,
                                             static_cast<size_t>(bytes.size() - done), &sent);
        if (code == CURLE_OK) {
            done += static_cast<qsizetype>(sent);
        } else if (code == CURLE_AGAIN) {
            if (!waitFor(socket_, POLLOUT, deadline)) {
                return QStringLiteral("the server accepted no data for %1 ms").arg(timeoutMs);
            }
        } else {
            return QStringLiteral("sending failed: %1")
                .arg(QString::fromUtf8(curl_easy_strerror(code)));
        }
    }
    return {};
}

Received CurlPopConnection::receive(char* buffer, qsizetype max, int timeoutMs) {
    if (curl_ == nullptr) {
        return {Received::Status::Failed, 0, QStringLiteral("not connected")};
    }
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        size_t got = 0;
        // Asked first and polled only when it has nothing: TLS may hold decrypted bytes that
        // the socket no longer shows.
        const CURLcode code = curl_easy_recv(curl_, buffer, static_cast<size_t>(max), &got);
        if (code == CURLE_OK) {
            if (got == 0) {
                return {Received::Status::Closed, 0, {}};
            }
            return {Received::Status::Data, static_cast<qsizetype>(got), {}};
        }
        if (code != CURLE_AGAIN) {
            return {Received::Status::Failed, 0, QString::fromUtf8(curl_easy_strerror(code))};
        }
        if (!waitFor(socket_, POLLIN, deadline)) {
            return {Received::Status::TimedOut, 0, {}};
        }
    }
}

}  // namespace kervo

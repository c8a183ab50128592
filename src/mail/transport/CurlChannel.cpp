#include "mail/transport/CurlChannel.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QFile>
#include <algorithm>
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

// Sockets are opened close-on-exec, so that a console started during a poll cannot keep the
// server's session (and its mailbox lock) open after the monitor let go of it.
curl_socket_t openSocket(void* sockets, curlsocktype /*purpose*/, curl_sockaddr* address) {
    return static_cast<InterruptibleSockets*>(sockets)->open(
        address->family, address->socktype | SOCK_CLOEXEC, address->protocol);
}

int closeSocket(void* sockets, curl_socket_t socket) {
    return static_cast<InterruptibleSockets*>(sockets)->close(socket);
}

// What the debug callback feeds during one log-on.
struct DialogueWatch {
    const DialogueWatcher& watch;
    ConnectionFacts& tls;
};

// Feeds the lines of the log-on dialogue to the watcher; everything else the library says is
// dropped. The TLS session, shown by the handle only while it works, is noted at the server's
// lines.
int watchDialogue(CURL* handle, curl_infotype type, char* data, size_t size, void* context) {
    if (type != CURLINFO_HEADER_IN && type != CURLINFO_HEADER_OUT) {
        return 0;
    }
    const auto* watch = static_cast<DialogueWatch*>(context);
    if (type == CURLINFO_HEADER_IN) {
        noteTls(handle, watch->tls);
    }
    if (!watch->watch) {
        return 0;
    }
    const QByteArrayView bytes(data, static_cast<qsizetype>(size));
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = bytes.indexOf('\n', start);
        if (end < 0) {
            end = bytes.size();
        }
        watch->watch(bytes.sliced(start, end - start), type == CURLINFO_HEADER_IN);
        start = end + 1;
    }
    return 0;
}

}  // namespace

curl_socket_t InterruptibleSockets::open(int family, int type, int protocol) {
    const std::lock_guard<std::mutex> held(lock_);
    if (interrupted_) {
        return CURL_SOCKET_BAD;
    }
    const curl_socket_t socket = ::socket(family, type, protocol);
    if (socket != CURL_SOCKET_BAD) {
        sockets_.push_back(socket);
    }
    return socket;
}

int InterruptibleSockets::close(curl_socket_t socket) {
    // Under the lock: once closed, the number may name another program's file at once.
    const std::lock_guard<std::mutex> held(lock_);
    std::erase(sockets_, socket);
    return ::close(socket);
}

void InterruptibleSockets::interrupt() {
    const std::lock_guard<std::mutex> held(lock_);
    interrupted_ = true;
    for (const curl_socket_t socket : sockets_) {
        ::shutdown(socket, SHUT_RDWR);
    }
}

QString openErrorText(const CurlFailure& failure, const ServerAddress& address) {
    const QString where = address.display();
    QString why = failure.detail.trimmed();
    if (why.isEmpty()) {
        why = QString::fromUtf8(curl_easy_strerror(failure.code));
    }
    // The detail may quote the server; keep it short and harmless on screen.
    why = displaySafe(why.left(300));
    const bool imap = address.protocol == MailProtocol::Imap;
    switch (failure.code) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return QStringLiteral("cannot find the mail server %1: %2").arg(where, why);
        case CURLE_COULDNT_CONNECT:
            return QStringLiteral("cannot connect to the mail server %1: %2").arg(where, why);
        case CURLE_OPERATION_TIMEDOUT:
            return QStringLiteral("the mail server %1 did not answer in time: %2").arg(where, why);
        case CURLE_USE_SSL_FAILED:
            return QStringLiteral("the mail server %1 does not offer %2")
                .arg(where, imap ? QStringLiteral("STARTTLS") : QStringLiteral("STLS"));
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
            return QStringLiteral("the mail server %1 does not answer like a %2 server: %3")
                .arg(where, address.protocolName(), why);
        case CURLE_RECV_ERROR:
            return QStringLiteral("the connection to the mail server %1 was lost after the log-on")
                .arg(where);
        default:
            return QStringLiteral("log-on to the mail server %1 failed: %2").arg(where, why);
    }
}

OpenStep stepOf(CURLcode code) {
    switch (code) {
        case CURLE_COULDNT_RESOLVE_HOST:
            return OpenStep::NameResolution;
        case CURLE_COULDNT_CONNECT:
        case CURLE_OPERATION_TIMEDOUT:
            return OpenStep::Connection;
        case CURLE_USE_SSL_FAILED:
        case CURLE_PEER_FAILED_VERIFICATION:
        case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
        case CURLE_SSL_CACERT_BADFILE:
        case CURLE_SSL_CONNECT_ERROR:
            return OpenStep::Tls;
        default:
            return OpenStep::LogOn;
    }
}

CurlChannel::~CurlChannel() {
    close();
}

void CurlChannel::close() {
    if (curl_ != nullptr) {
        curl_easy_cleanup(curl_);
        curl_ = nullptr;
    }
    socket_ = CURL_SOCKET_BAD;
}

Result<void, CurlFailure> CurlChannel::connect(const ServerAddress& address, const CurlLogOn& logOn,
                                               const MailTimeouts& timeouts,
                                               const DialogueWatcher& watch) {
    close();
    curl_ = curl_easy_init();
    if (curl_ == nullptr) {
        return CurlFailure{CURLE_FAILED_INIT,
                           QStringLiteral("the transfer library cannot start a connection")};
    }
    std::array<char, CURL_ERROR_SIZE> error{};
    const QByteArray url = address.url();
    const QByteArray caFile = QFile::encodeName(address.caFile);
    const QByteArray pin = address.pin.toLatin1();

    curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, error.data());
    curl_easy_setopt(curl_, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl_, CURLOPT_PROTOCOLS_STR, address.protocols().constData());
    curl_easy_setopt(curl_, CURLOPT_CONNECT_ONLY, 1L);
    curl_easy_setopt(curl_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl_, CURLOPT_OPENSOCKETFUNCTION, &openSocket);
    curl_easy_setopt(curl_, CURLOPT_OPENSOCKETDATA, &sockets_);
    curl_easy_setopt(curl_, CURLOPT_CLOSESOCKETFUNCTION, &closeSocket);
    curl_easy_setopt(curl_, CURLOPT_CLOSESOCKETDATA, &sockets_);
    // The dialogue is watched for what the server offers and which method was tried.
    curl_easy_setopt(curl_, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(curl_, CURLOPT_DEBUGFUNCTION, &watchDialogue);
    tls_ = ConnectionFacts{};
    DialogueWatch watching{watch, tls_};
    curl_easy_setopt(curl_, CURLOPT_DEBUGDATA, &watching);
    if (!logOn.user.isEmpty()) {
        // Without a user name the library stops once the connection is secured.
        curl_easy_setopt(curl_, CURLOPT_USERNAME, logOn.user.constData());
        curl_easy_setopt(curl_, CURLOPT_PASSWORD, logOn.password.constData());
        curl_easy_setopt(curl_, CURLOPT_LOGIN_OPTIONS, logOn.loginOptions.constData());
    }
    // The library counts TLS and the log-on as part of connecting.
    curl_easy_setopt(curl_, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeouts.connectMs));
    curl_easy_setopt(curl_, CURLOPT_SERVER_RESPONSE_TIMEOUT,
                     static_cast<long>((timeouts.responseMs + 999) / 1000));
    if (address.tls == MailTls::StartTls) {
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

    const CURLcode code = curl_easy_perform(curl_);
    curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_setopt(curl_, CURLOPT_DEBUGFUNCTION, nullptr);
    curl_easy_setopt(curl_, CURLOPT_VERBOSE, 0L);
    QString detail = QString::fromUtf8(error.data());
    if (code != CURLE_OK) {
        return CurlFailure{code, std::move(detail)};
    }
    if (curl_easy_getinfo(curl_, CURLINFO_ACTIVESOCKET, &socket_) != CURLE_OK ||
        socket_ == CURL_SOCKET_BAD) {
        close();
        return CurlFailure{CURLE_RECV_ERROR, std::move(detail)};
    }
    return {};
}

Result<void> CurlChannel::sendAll(QByteArrayView bytes, int timeoutMs) {
    if (curl_ == nullptr) {
        return Error{QStringLiteral("not connected")};
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
                return Error{
                    QStringLiteral("the server accepted no data for %1 ms").arg(timeoutMs)};
            }
        } else {
            return Error{QStringLiteral("sending failed: %1")
                             .arg(QString::fromUtf8(curl_easy_strerror(code)))};
        }
    }
    return {};
}

Received CurlChannel::receive(char* buffer, qsizetype max, int timeoutMs) {
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

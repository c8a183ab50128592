#include "FakePopServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace kervo::test {

namespace {

// The mail as it travels: dot-stuffed, ending in CRLF, then the terminating line.
QByteArray onTheWire(const QByteArray& content) {
    QByteArray wire;
    qsizetype start = 0;
    while (start < content.size()) {
        qsizetype end = content.indexOf('\n', start);
        end = end < 0 ? content.size() : end + 1;
        if (content.at(start) == '.') {
            wire += '.';
        }
        wire += content.mid(start, end - start);
        start = end;
    }
    if (!wire.isEmpty() && !wire.endsWith("\r\n")) {
        wire += "\r\n";
    }
    return wire + ".\r\n";
}

}  // namespace

FakePopServer::FakePopServer(std::vector<Mail> mails, std::vector<PopFault> faults,
                             QByteArray password)
    : mailbox_(std::move(mails)),
      faults_(std::move(faults)),
      faultUsed_(faults_.size(), false),
      password_(std::move(password)) {}

FakePopServer::~FakePopServer() {
    if (stopPipe_[1] >= 0) {
        const char stop = 's';
        (void)::write(stopPipe_[1], &stop, 1);
    }
    if (thread_.joinable()) {
        thread_.join();
    }
    for (const int fd : {listener_, stopPipe_[0], stopPipe_[1]}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

bool FakePopServer::start(QString& why) {
    if (::pipe(stopPipe_) != 0) {
        why = QStringLiteral("pipe failed");
        return false;
    }
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t length = sizeof address;
    if (listener_ < 0 ||
        ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 4) != 0 ||
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        why = QStringLiteral("cannot listen on 127.0.0.1: %1")
                  .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { run(); });
    return true;
}

void FakePopServer::run() {
    for (;;) {
        pollfd fds[2] = {{listener_, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        const int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (client >= 0) {
            serve(client);
            ::close(client);
        }
    }
}

bool FakePopServer::sendAll(int client, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t sent = ::send(client, bytes.constData() + done,
                                    static_cast<size_t>(bytes.size() - done), MSG_NOSIGNAL);
        if (sent < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += sent;
    }
    return true;
}

void FakePopServer::waitUntilStopped(int client) {
    char sink[4096];
    for (;;) {
        pollfd fds[2] = {{client, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
            return;
        }
        if (fds[1].revents != 0) {
            return;
        }
        if (fds[0].revents != 0 && ::recv(client, sink, sizeof sink, 0) <= 0) {
            return;
        }
    }
}

const PopFault* FakePopServer::faultFor(const QByteArray& command) {
    for (size_t i = 0; i < faults_.size(); ++i) {
        const PopFault& fault = faults_[i];
        if (command.startsWith(fault.trigger) && !(fault.once && faultUsed_[i])) {
            faultUsed_[i] = true;
            return &fault;
        }
    }
    return nullptr;
}

void FakePopServer::serve(int client) {
    std::vector<Mail> mails;
    {
        std::lock_guard lock(mutex_);
        mails = mailbox_;
    }
    std::vector<bool> deleted(mails.size(), false);
    auto mailAt = [&](const QByteArray& argument) -> int {
        bool ok = false;
        const int number = argument.trimmed().toInt(&ok);
        return ok && number >= 1 && number <= static_cast<int>(mails.size()) &&
                       !deleted[static_cast<size_t>(number - 1)]
                   ? number - 1
                   : -1;
    };
    // The failure a fault asks for; true when the connection is to end.
    auto applyFault = [&](const PopFault& fault, int mail) -> bool {
        const QByteArray half =
            mail >= 0 ? onTheWire(mails[static_cast<size_t>(mail)].content) : QByteArray();
        switch (fault.action) {
            case PopFault::Action::Reply:
                sendAll(client, fault.text + "\r\n");
                return false;
            case PopFault::Action::Close:
                return true;
            case PopFault::Action::Stall:
                waitUntilStopped(client);
                return true;
            case PopFault::Action::CutMail:
                sendAll(client, "+OK\r\n" + half.left(half.size() / 2));
                return true;
            case PopFault::Action::StallInMail:
                sendAll(client, "+OK\r\n" + half.left(half.size() / 2));
                waitUntilStopped(client);
                return true;
            case PopFault::Action::OverlongLine: {
                const QByteArray chunk(64 * 1024, 'x');
                sendAll(client, "+OK ");
                // Bounded only so that a client that never gives up cannot hang the test for ever.
                for (int i = 0; i < 1024 && sendAll(client, chunk); ++i) {
                }
                return true;
            }
        }
        return true;
    };

    if (const PopFault* fault = [&] {
            std::lock_guard lock(mutex_);
            return faultFor("GREETING");
        }()) {
        if (applyFault(*fault, -1)) {
            return;
        }
    } else {
        sendAll(client, "+OK fake POP3 ready\r\n");
    }

    QByteArray pending;
    char buffer[4096];
    for (;;) {
        const qsizetype lineEnd = pending.indexOf('\n');
        if (lineEnd < 0) {
            pollfd fds[2] = {{client, POLLIN, 0}, {stopPipe_[0], POLLIN, 0}};
            if (::poll(fds, 2, -1) < 0 && errno != EINTR) {
                return;
            }
            if (fds[1].revents != 0) {
                return;
            }
            const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
            if (got <= 0) {
                return;  // dropped without QUIT: nothing is committed
            }
            pending.append(buffer, got);
            continue;
        }
        const QByteArray line = pending.left(lineEnd).trimmed();
        pending.remove(0, lineEnd + 1);
        const QByteArray verb = line.split(' ').first().toUpper();
        const QByteArray argument = line.mid(verb.size());
        const PopFault* fault = nullptr;
        {
            std::lock_guard lock(mutex_);
            commands_.append(line);
            fault = faultFor(line);
        }
        if (fault != nullptr) {
            if (applyFault(*fault, verb == "RETR" ? mailAt(argument) : -1)) {
                return;
            }
            continue;
        }

        if (verb == "CAPA") {
            sendAll(client, "+OK\r\nUSER\r\nUIDL\r\n.\r\n");
        } else if (verb == "USER" || verb == "NOOP" || verb == "RSET") {
            sendAll(client, "+OK\r\n");
        } else if (verb == "PASS") {
            sendAll(client, argument.trimmed() == password_ ? "+OK logged in\r\n"
                                                            : "-ERR [AUTH] wrong password\r\n");
        } else if (verb == "LIST" || verb == "UIDL") {
            QByteArray answer = "+OK\r\n";
            for (size_t i = 0; i < mails.size(); ++i) {
                if (!deleted[i]) {
                    answer += QByteArray::number(static_cast<int>(i) + 1) + ' ' +
                              (verb == "LIST" ? QByteArray::number(mails[i].content.size())
                                              : mails[i].uid) +
                              "\r\n";
                }
            }
            sendAll(client, answer + ".\r\n");
        } else if (verb == "RETR") {
            const int mail = mailAt(argument);
            sendAll(client, mail < 0
                                ? QByteArray("-ERR no such message\r\n")
                                : "+OK\r\n" + onTheWire(mails[static_cast<size_t>(mail)].content));
        } else if (verb == "DELE") {
            const int mail = mailAt(argument);
            if (mail < 0) {
                sendAll(client, "-ERR no such message\r\n");
            } else {
                deleted[static_cast<size_t>(mail)] = true;
                {
                    std::lock_guard lock(mutex_);
                    accepted_.append(mails[static_cast<size_t>(mail)].content);
                }
                sendAll(client, "+OK\r\n");
            }
        } else if (verb == "QUIT") {
            {
                std::lock_guard lock(mutex_);
                std::vector<Mail> kept;
                for (size_t i = 0; i < mails.size(); ++i) {
                    if (deleted[i]) {
                        committed_.append(mails[i].content);
                    } else {
                        kept.push_back(mails[i]);
                    }
                }
                mailbox_ = kept;
            }
            sendAll(client, "+OK bye\r\n");
            return;
        } else {
            sendAll(client, "-ERR unknown command\r\n");
        }
    }
}

QList<QByteArray> FakePopServer::commands() const {
    std::lock_guard lock(mutex_);
    return commands_;
}

QList<QByteArray> FakePopServer::committedDeletions() const {
    std::lock_guard lock(mutex_);
    return committed_;
}

QList<QByteArray> FakePopServer::acceptedDeletions() const {
    std::lock_guard lock(mutex_);
    return accepted_;
}

QList<QByteArray> FakePopServer::remainingMails() const {
    std::lock_guard lock(mutex_);
    QList<QByteArray> out;
    for (const Mail& mail : mailbox_) {
        out.append(mail.content);
    }
    return out;
}

}  // namespace kervo::test

#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>
#include <QList>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

#include "support/LoopbackServer.h"

namespace kervo::test {

// What the fake server does, once, instead of answering the first command that begins with
// `trigger` ("GREETING" stands for the greeting): sends `reply` as it is, then goes on,
// closes the connection, or stalls until the client gives up; or sends it a line at a time,
// 20 ms apart, and goes on.
struct PopFault {
    enum Then { Go, Close, Stall, Drip };
    QByteArray trigger;
    QByteArray reply = {};
    Then then = Go;
};

// A POP3 server on 127.0.0.1 (port 0 when it cannot listen) serving a mailbox from its own
// thread, one connection at a time, that fails on purpose where a test asks it to. Any log-on
// is accepted; DELE marks and QUIT commits, as in RFC 1939. It takes commands sent ahead of the
// answers in any case, but lists PIPELINING in CAPA only when told to.
class FakePopServer {
  public:
    // Mails with CRLF line ends, and their unique ids.
    FakePopServer(QList<QByteArray> mails, QList<QByteArray> uids, std::vector<PopFault> faults)
        : mailbox_(std::move(mails)), uids_(std::move(uids)), faults_(std::move(faults)) {}
    int port() const { return listener_.port(); }
    void offerPipelining() { pipelining_ = true; }
    // Commands that had already arrived when the answer to the one before went out.
    int commandsSentAhead() const { return sentAhead_; }
    // A mail arriving between sessions.
    void deliver(const QByteArray& mail, const QByteArray& uid) {
        std::lock_guard lock(mutex_);
        mailbox_.append(mail);
        uids_.append(uid);
    }
    // Contents of every mail a DELE was accepted for, committed by QUIT or not.
    QList<QByteArray> acceptedDeletions() const {
        std::lock_guard lock(mutex_);
        return accepted_;
    }
    QList<QByteArray> remainingMails() const {
        std::lock_guard lock(mutex_);
        return mailbox_;
    }

  private:
    void serve(int client) {
        auto reply = [client](const QByteArray& bytes) {
            return ::send(client, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) ==
                   bytes.size();
        };
        QList<QByteArray> mails;
        QList<QByteArray> uids;
        {
            const std::lock_guard guard(mutex_);
            mails = mailbox_;
            uids = uids_;
        }
        QList<bool> deleted(mails.size(), false);
        // Plays the fault for the command, if one is left; false when the connection is to end.
        auto goesOn = [&](const QByteArray& command, bool& faulted) {
            const auto fault = std::find_if(faults_.begin(), faults_.end(), [&](const PopFault& f) {
                return command.startsWith(f.trigger);
            });
            faulted = fault != faults_.end();
            const PopFault played = faulted ? *fault : PopFault{};
            if (faulted) {
                faults_.erase(fault);
            }
            if (played.then == PopFault::Drip) {
                for (qsizetype at = 0; at < played.reply.size();) {
                    const qsizetype end = played.reply.indexOf('\n', at);
                    const qsizetype next = end < 0 ? played.reply.size() : end + 1;
                    if (!reply(played.reply.mid(at, next - at))) {
                        return false;
                    }
                    at = next;
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                }
                return true;
            }
            reply(played.reply);
            char sink[4096];
            while (played.then == PopFault::Stall && ::recv(client, sink, sizeof sink, 0) > 0) {
            }
            return played.then == PopFault::Go;
        };

        bool faulted = false;
        if (!goesOn("GREETING", faulted) || (!faulted && !reply("+OK fake POP3 ready\r\n"))) {
            return;
        }
        QByteArray pending;
        for (;;) {
            const qsizetype end = pending.indexOf('\n');
            if (end < 0) {
                char buffer[4096];
                const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
                if (got <= 0) {
                    return;  // dropped without QUIT: nothing is committed
                }
                pending.append(buffer, got);
                continue;
            }
            const QByteArray line = pending.left(end).trimmed();
            pending.remove(0, end + 1);
            const QByteArray verb = line.split(' ').first().toUpper();
            const qsizetype n = line.mid(verb.size()).trimmed().toInt();  // 0 when there is none
            QByteArray answer = "+OK\r\n";  // also to USER, PASS and NOOP
            if (!goesOn(line, faulted)) {
                return;
            } else if (faulted) {
                continue;
            } else if (verb == "CAPA") {
                answer +=
                    pipelining_ ? "USER\r\nUIDL\r\nPIPELINING\r\n.\r\n" : "USER\r\nUIDL\r\n.\r\n";
            } else if (verb == "LIST" || verb == "UIDL") {
                for (qsizetype i = 0; i < mails.size(); ++i) {
                    if (!deleted[i]) {
                        answer += QByteArray::number(i + 1) + ' ' +
                                  (verb == "LIST" ? QByteArray::number(mails[i].size()) : uids[i]) +
                                  "\r\n";
                    }
                }
                answer += ".\r\n";
            } else if ((verb == "RETR" || verb == "DELE") &&
                       (n < 1 || n > mails.size() || deleted[n - 1])) {
                answer = "-ERR no such message\r\n";
            } else if (verb == "RETR") {
                // Dot-stuffed, ending in CRLF, then the terminating line.
                QByteArray wire = mails[n - 1];
                wire.replace("\n.", "\n..");
                answer += (wire.startsWith('.') ? "." : "") + wire +
                          (wire.endsWith("\r\n") ? ".\r\n" : "\r\n.\r\n");
            } else if (verb == "DELE") {
                deleted[n - 1] = true;
                const std::lock_guard guard(mutex_);
                accepted_.append(mails[n - 1]);
            } else if (verb == "QUIT") {
                const std::lock_guard guard(mutex_);  // the box is as the session found it
                for (qsizetype i = mails.size(); i-- > 0;) {
                    if (deleted[i]) {
                        mailbox_.removeAt(i);
                        uids_.removeAt(i);
                    }
                }
            }
            if (!reply(answer) || verb == "QUIT") {
                return;
            }
            sentAhead_ += pending.contains('\n') ? 1 : 0;
        }
    }

    mutable std::mutex mutex_;
    QList<QByteArray> mailbox_;
    QList<QByteArray> uids_;
    std::vector<PopFault> faults_;  // the server thread's alone
    QList<QByteArray> accepted_;
    std::atomic<bool> pipelining_ = false;
    std::atomic<int> sentAhead_ = 0;
    LoopbackServer listener_{[this](int client) { serve(client); }};  // last: stops first
};

}  // namespace kervo::test

#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QByteArray>
#include <QList>
#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "support/LoopbackServer.h"

namespace kervo::test {

// What the fake server does, once, instead of answering the first command whose text (after the
// tag) begins with `trigger` ("GREETING" stands for the greeting): sends `reply`, in which "TAG"
// stands for the command's tag, then goes on, closes the connection, or stalls until the client
// gives up.
struct ImapFault {
    enum Then { Go, Close, Stall };
    QByteArray trigger;
    QByteArray reply = {};
    Then then = Go;
};

// One message of the fake mailbox.
struct FakeMessage {
    QByteArray content;
    bool deleted = false;  // marked \Deleted, e.g. by another client
    qint64 uid = 0;        // given by the server when 0
};

// An IMAP server on 127.0.0.1 (port 0 when it cannot listen) serving one mailbox from its own
// thread, one connection at a time, that fails on purpose where a test asks it to. Any log-on is
// accepted. Flags and expunges take effect at once, as on a real server. UIDPLUS and IDLE are
// offered unless switched off; a message delivered while a client idles is announced with
// EXISTS, so it also serves the tests of waiting in IDLE.
class FakeImapServer {
  public:
    FakeImapServer(std::vector<FakeMessage> messages, std::vector<ImapFault> faults)
        : faults_(std::move(faults)) {
        for (FakeMessage& message : messages) {
            store(std::move(message));
        }
    }
    int port() const { return listener_.port(); }
    void withoutUidPlus() { uidPlus_ = false; }
    void withoutIdle() { idle_ = false; }
    // The connections taken so far.
    int accepted() const { return accepted_; }
    // The mailbox is made anew with these messages: a new UIDVALIDITY, UIDs from 1 again.
    void recreate(std::vector<FakeMessage> messages) {
        const std::lock_guard lock(mutex_);
        uidValidity_ += 1000;
        messages_.clear();
        nextUid_ = 1;
        for (FakeMessage& message : messages) {
            store(std::move(message));
        }
    }
    // A message arriving; announced at once to a client in IDLE.
    void deliver(const QByteArray& content) {
        const std::lock_guard lock(mutex_);
        store({content});
    }
    std::vector<FakeMessage> messages() const {
        const std::lock_guard lock(mutex_);
        return messages_;
    }
    // The commands received, without their tags, in order.
    QList<QByteArray> commands() const {
        const std::lock_guard lock(mutex_);
        return commands_;
    }

  private:
    void store(FakeMessage message) {  // with mutex_ held, or before the thread runs
        if (message.uid == 0) {
            message.uid = nextUid_++;
        }
        nextUid_ = std::max(nextUid_, message.uid + 1);
        messages_.push_back(std::move(message));
    }

    // The sequence numbers of the messages a UID set names, e.g. "2:4,9" or "1:*".
    std::vector<std::size_t> named(const QByteArray& set) const {
        std::vector<std::size_t> out;
        for (std::size_t i = 0; i < messages_.size(); ++i) {
            const qint64 uid = messages_[i].uid;
            for (const QByteArray& range : set.split(',')) {
                const QList<QByteArray> ends = range.split(':');
                const qint64 low = ends[0].toLongLong();
                const qint64 high = ends.size() < 2  ? low
                                    : ends[1] == "*" ? uid
                                                     : ends[1].toLongLong();
                if (uid >= std::min(low, high) && uid <= std::max(low, high)) {
                    out.push_back(i);
                    break;
                }
            }
        }
        return out;
    }

    QByteArray answer(const QByteArray& tag, const QByteArray& command, int client) {
        const QList<QByteArray> words = command.split(' ');
        const QByteArray verb = words[0].toUpper();
        const QByteArray ok = tag + " OK done\r\n";
        const std::lock_guard lock(mutex_);
        if (verb == "CAPABILITY") {
            return "* CAPABILITY " + capabilities() + "\r\n" + ok;
        }
        if (verb == "AUTHENTICATE" && words.size() == 2) {
            ::send(client, "+ \r\n", 4, MSG_NOSIGNAL);  // the credentials follow on a line
            char sink[512];
            (void)::recv(client, sink, sizeof sink, 0);
        }
        if (verb == "SELECT") {
            return "* " + QByteArray::number(messages_.size()) + " EXISTS\r\n* OK [UIDVALIDITY " +
                   QByteArray::number(uidValidity_) + "] UIDs valid\r\n* OK [UIDNEXT " +
                   QByteArray::number(nextUid_) + "] next\r\n" + tag + " OK [READ-WRITE] done\r\n";
        }
        if (verb == "UID" && words.size() >= 3) {
            const QByteArray what = words[1].toUpper();
            QByteArray out;
            if (what == "FETCH") {
                for (const std::size_t i : named(words[2])) {
                    const FakeMessage& m = messages_[i];
                    out +=
                        "* " + QByteArray::number(i + 1) + " FETCH (UID " +
                        QByteArray::number(m.uid) +
                        (command.contains("BODY.PEEK[]")
                             ? " BODY[] {" + QByteArray::number(m.content.size()) + "}\r\n" +
                                   m.content + ")\r\n"
                             : " RFC822.SIZE " + QByteArray::number(m.content.size()) +
                                   " FLAGS (\\Seen" + (m.deleted ? " \\Deleted" : "") + "))\r\n");
                }
            } else if (what == "STORE") {
                for (const std::size_t i : named(words[2])) {
                    messages_[i].deleted = true;
                }
            } else if (what == "SEARCH") {
                out = "* SEARCH";
                for (const FakeMessage& m : messages_) {
                    out += m.deleted ? ' ' + QByteArray::number(m.uid) : QByteArray();
                }
                out += "\r\n";
            } else if (what == "EXPUNGE" && uidPlus_) {
                const std::vector<std::size_t> gone = named(words[2]);
                out = expunge([&](std::size_t i) {
                    return std::find(gone.begin(), gone.end(), i) != gone.end();
                });
            } else {
                return tag + " BAD unknown\r\n";
            }
            return out + ok;
        }
        if (verb == "EXPUNGE") {
            return expunge([](std::size_t) { return true; }) + ok;
        }
        if (verb == "LOGOUT") {
            return "* BYE see you\r\n" + ok;
        }
        return ok;  // LOGIN, AUTHENTICATE, NOOP
    }

    QByteArray capabilities() const {
        return QByteArray("IMAP4rev1 AUTH=PLAIN SASL-IR") + (idle_ ? " IDLE" : "") +
               (uidPlus_ ? " UIDPLUS" : "");
    }

    template <typename Chosen>
    QByteArray expunge(Chosen chosen) {
        QByteArray out;
        for (std::size_t i = messages_.size(); i-- > 0;) {
            if (messages_[i].deleted && chosen(i)) {
                messages_.erase(messages_.begin() + std::ptrdiff_t(i));
                out += "* " + QByteArray::number(i + 1) + " EXPUNGE\r\n";
            }
        }
        return out;
    }

    // Plays the fault for the command, if one is left; false when the connection is to end.
    bool fault(const QByteArray& tag, const QByteArray& command, int client, bool& played) {
        const auto found = std::find_if(faults_.begin(), faults_.end(), [&](const ImapFault& f) {
            return command.startsWith(f.trigger);
        });
        played = found != faults_.end();
        if (!played) {
            return true;
        }
        const ImapFault fault = *found;
        faults_.erase(found);
        QByteArray reply = fault.reply;
        reply.replace("TAG", tag);
        ::send(client, reply.constData(), size_t(reply.size()), MSG_NOSIGNAL);
        char sink[4096];
        while (fault.then == ImapFault::Stall && ::recv(client, sink, sizeof sink, 0) > 0) {
        }
        return fault.then == ImapFault::Go;
    }

    void serve(int client) {
        ++accepted_;
        auto reply = [client](const QByteArray& bytes) {
            return ::send(client, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) ==
                   bytes.size();
        };
        bool played = false;
        if (!fault({}, "GREETING", client, played) ||
            (!played && !reply("* OK [CAPABILITY " + capabilities() + "] fake IMAP ready\r\n"))) {
            return;
        }
        QByteArray pending;
        QByteArray idleTag;
        std::size_t announced = 0;
        for (;;) {
            const qsizetype end = pending.indexOf('\n');
            if (end < 0) {
                if (!idleTag.isEmpty()) {  // a message delivered meanwhile is announced
                    pollfd fd{client, POLLIN, 0};
                    if (::poll(&fd, 1, 20) == 0) {
                        const std::lock_guard lock(mutex_);
                        if (messages_.size() > announced) {
                            announced = messages_.size();
                            reply("* " + QByteArray::number(announced) + " EXISTS\r\n");
                        }
                        continue;
                    }
                }
                char buffer[4096];
                const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
                if (got <= 0) {
                    return;
                }
                pending.append(buffer, got);
                continue;
            }
            const QByteArray line = pending.left(end).trimmed();
            pending.remove(0, end + 1);
            if (!idleTag.isEmpty()) {
                if (line.toUpper() == "DONE" && !reply(idleTag + " OK idle done\r\n")) {
                    return;
                }
                idleTag.clear();
                continue;
            }
            const qsizetype space = line.indexOf(' ');
            const QByteArray tag = line.left(space);
            const QByteArray command = line.mid(space + 1);
            {
                const std::lock_guard lock(mutex_);
                commands_.append(command);
            }
            if (!fault(tag, command, client, played)) {
                return;
            }
            if (played) {
                continue;
            }
            if (command.toUpper() == "IDLE") {
                idleTag = tag;
                const std::lock_guard lock(mutex_);
                announced = messages_.size();
                if (!reply("+ idling\r\n")) {
                    return;
                }
                continue;
            }
            if (!reply(answer(tag, command, client)) || command.toUpper() == "LOGOUT") {
                return;
            }
        }
    }

    mutable std::mutex mutex_;
    std::vector<FakeMessage> messages_;
    QList<QByteArray> commands_;
    qint64 uidValidity_ = 1000;
    qint64 nextUid_ = 1;
    std::vector<ImapFault> faults_;  // the server thread's alone
    std::atomic<bool> uidPlus_ = true;
    std::atomic<bool> idle_ = true;
    std::atomic<int> accepted_ = 0;
    LoopbackServer listener_{[this](int client) { serve(client); }};  // last: stops first
};

}  // namespace kervo::test

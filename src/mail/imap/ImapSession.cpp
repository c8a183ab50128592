#include "mail/imap/ImapSession.h"

#include <algorithm>
#include <utility>

#include "app/TextSafety.h"

namespace kervo {

namespace {

constexpr qint64 kAnswerCredit = 2048;
// Messages listed at most; more than any report mailbox holds.
constexpr qsizetype kMaxMessages = 1'000'000;

QString said(const QByteArray& text) {
    return displaySafe(QString::fromUtf8(text.left(200)));
}

// The item that follows the atom `name` in a FETCH list, if any.
const ImapItem* fetchItem(const ImapItem& list, QByteArrayView name) {
    for (std::size_t i = 0; i + 1 < list.items.size(); i += 2) {
        if (list.items[i].is(name)) {
            return &list.items[i + 1];
        }
    }
    return nullptr;
}

// The FETCH list of "* n FETCH (...)"; nothing for other data.
const ImapItem* fetchList(const ImapResponse& response) {
    const std::vector<ImapItem>& data = response.data;
    if (data.size() == 3 && data[1].is("FETCH") && data[2].kind == ImapItem::Kind::List) {
        return &data[2];
    }
    return nullptr;
}

}  // namespace

ImapSession::ImapSession(MailChannel& channel, const MailTimeouts& timeouts, QString where)
    : in_(channel, timeouts, std::move(where)), reader_(in_) {}

Error ImapSession::refused(const QString& what, const ImapResponse& status) const {
    return Error{
        QStringLiteral("%1: %2 refused: %3 %4")
            .arg(in_.server(), what, QString::fromLatin1(status.status), said(status.text))};
}

Result<QByteArray> ImapSession::send(const QByteArray& text, const QString& what) {
    // A prefix of our own, so that no tag of the log-on that went before is ever taken for one
    // of ours.
    const QByteArray tag = 'k' + QByteArray::number(nextTag_++);
    QByteArray line = tag + ' ' + text + "\r\n";
    const Result<void> sent = in_.send(line, what);
    line.fill('\0');  // it may have held the password
    if (!sent.ok()) {
        return sent.error();
    }
    return tag;
}

Result<ImapResponse> ImapSession::next(const QString& what, int timeoutMs, const BodyTarget& body,
                                       qint64 bodyLimit) {
    Result<ImapResponse> response = reader_.read(what, timeoutMs, body, bodyLimit);
    if (!response.ok()) {
        return response;
    }
    in_.credit(kAnswerCredit);
    if (response.value().kind == ImapResponse::Kind::Untagged) {
        if (Result<void> noted = note(response.value(), what); !noted.ok()) {
            return noted.error();
        }
    }
    return response;
}

Result<void> ImapSession::note(const ImapResponse& response, const QString& what) {
    if (response.status == "BYE" && !loggingOut_) {
        return in_.broken(QStringLiteral("the server ended the session during %1: %2")
                              .arg(what, said(response.text)));
    }
    const std::vector<ImapItem>& code = response.code;
    const std::vector<ImapItem>& data = response.data;
    const std::vector<ImapItem>* listed = nullptr;
    if (!code.empty() && code.front().is("CAPABILITY")) {
        listed = &code;
    } else if (!data.empty() && data.front().is("CAPABILITY")) {
        listed = &data;
    }
    if (listed != nullptr) {
        capabilities_.clear();
        for (std::size_t i = 1; i < listed->size(); ++i) {
            capabilities_.insert((*listed)[i].text.toUpper());
        }
    }
    if (data.size() == 2 && data[0].number()) {
        const qint64 n = *data[0].number();
        if (data[1].is("EXISTS")) {
            // Against the count as it stands, not as it stood when the wait began: our own
            // fetch may have expunged in between, and a new mail then brings EXISTS back to a
            // number seen before.
            grew_ = grew_ || n > exists_;
            exists_ = n;
        } else if (data[1].is("EXPUNGE")) {
            exists_ = qMax<qint64>(0, exists_ - 1);
        }
    }
    return {};
}

Result<void> ImapSession::command(const QByteArray& text, const QString& what,
                                  const DataHandler& onData, const BodyTarget& body,
                                  qint64 bodyLimit) {
    const Result<QByteArray> tag = send(text, what);
    if (!tag.ok()) {
        return tag.error();
    }
    for (;;) {
        const Result<ImapResponse> response =
            next(what, in_.timeouts().responseMs, body, bodyLimit);
        if (!response.ok()) {
            return response.error();
        }
        const ImapResponse& r = response.value();
        if (r.kind == ImapResponse::Kind::Continuation) {
            return in_.broken(
                QStringLiteral("a continuation request nobody asked for during %1").arg(what));
        }
        if (r.kind == ImapResponse::Kind::Untagged) {
            if (onData) {
                onData(r);
            }
            continue;
        }
        if (r.tag != tag.value()) {
            return in_.broken(QStringLiteral("an answer under the unknown tag %1 during %2")
                                  .arg(said(r.tag), what));
        }
        if (r.status == "OK") {
            return {};
        }
        return refused(what, r);
    }
}

Result<void> ImapSession::readCapabilities() {
    return command("CAPABILITY", QStringLiteral("CAPABILITY"));
}

Result<void> ImapSession::logIn(const QByteArray& user, const QByteArray& password) {
    if (Result<void> read = readCapabilities(); !read.ok()) {
        return read;
    }
    if (offers("LOGINDISABLED")) {
        return Error{QStringLiteral("%1 does not take LOGIN on this connection (LOGINDISABLED); "
                                    "use TLS or auth=any")
                         .arg(in_.server())};
    }
    // Quoted strings carry any character but these; a name or password holding one of them
    // cannot be sent this way.
    if (user.contains('\r') || user.contains('\n') || user.contains('\0') ||
        password.contains('\r') || password.contains('\n') || password.contains('\0')) {
        return Error{QStringLiteral("%1: a user name or password with a line break cannot be "
                                    "sent with LOGIN")
                         .arg(in_.server())};
    }
    auto quoted = [](const QByteArray& text) {
        QByteArray out = text;
        out.replace('\\', "\\\\").replace('"', "\\\"");
        return '"' + out + '"';
    };
    QByteArray line = "LOGIN " + quoted(user) + ' ' + quoted(password);
    Result<void> done = command(line, QStringLiteral("LOGIN"));
    line.fill('\0');
    return done;
}

bool ImapSession::offers(QByteArrayView capability) const {
    return capabilities_.contains(capability.toByteArray().toUpper());
}

Result<SelectedMailbox> ImapSession::select(const QString& mailbox, bool readOnly) {
    SelectedMailbox selected;
    const QByteArray verb = readOnly ? "EXAMINE" : "SELECT";
    const QString what =
        QStringLiteral("%1 of \"%2\"").arg(QString::fromLatin1(verb), displaySafe(mailbox));
    exists_ = 0;
    Result<void> done =
        command(verb + ' ' + imapMailboxName(mailbox), what, [&](const ImapResponse& r) {
            if (r.code.size() == 2 && r.code[1].number()) {
                if (r.code[0].is("UIDVALIDITY")) {
                    selected.uidValidity = *r.code[1].number();
                } else if (r.code[0].is("UIDNEXT")) {
                    selected.uidNext = *r.code[1].number();
                }
            }
        });
    if (!done.ok()) {
        return done.error();
    }
    selected.exists = exists_;
    grew_ = false;  // the count SELECT gave is where news begins
    return selected;
}

Result<std::vector<ImapMessage>> ImapSession::listMessages() {
    std::vector<ImapMessage> out;
    if (exists_ == 0) {
        return out;  // some servers refuse "1:*" on an empty mailbox
    }
    bool tooMany = false;
    Result<void> done = command(
        "UID FETCH 1:* (UID RFC822.SIZE FLAGS)", QStringLiteral("the listing of the messages"),
        [&](const ImapResponse& r) {
            const ImapItem* list = fetchList(r);
            const ImapItem* uid = list == nullptr ? nullptr : fetchItem(*list, "UID");
            const ImapItem* size = list == nullptr ? nullptr : fetchItem(*list, "RFC822.SIZE");
            const ImapItem* flags = list == nullptr ? nullptr : fetchItem(*list, "FLAGS");
            if (uid == nullptr || !uid->number() || size == nullptr || !size->number()) {
                return;  // a flag change told on the side, or a line we cannot use
            }
            if (std::ssize(out) >= kMaxMessages) {
                tooMany = true;
                return;
            }
            ImapMessage message{*uid->number(), *size->number(), false};
            if (flags != nullptr) {
                for (const ImapItem& flag : flags->items) {
                    message.deleted = message.deleted || flag.is("\\Deleted");
                }
            }
            out.push_back(message);
        });
    if (!done.ok()) {
        return done.error();
    }
    if (tooMany) {
        return Error{QStringLiteral("%1: the mailbox holds more than %2 messages")
                         .arg(in_.server())
                         .arg(kMaxMessages)};
    }
    std::sort(out.begin(), out.end(),
              [](const ImapMessage& a, const ImapMessage& b) { return a.uid < b.uid; });
    return out;
}

Result<void> ImapSession::fetchMessage(qint64 uid, const BodyTarget& target, qint64 maxBytes) {
    const QString what = QStringLiteral("the fetch of message UID %1").arg(uid);
    bool seen = false;
    Result<void> kept;
    Result<void> done = command(
        "UID FETCH " + QByteArray::number(uid) + " (UID BODY.PEEK[])", what,
        [&](const ImapResponse& r) {
            if (r.bodySeen && !seen) {
                seen = true;
                kept = r.body;
            }
        },
        target, maxBytes);
    if (!done.ok()) {
        return done;
    }
    if (!seen) {
        return Error{
            QStringLiteral("%1: message UID %2 is no longer there").arg(in_.server()).arg(uid)};
    }
    return kept;
}

Result<void> ImapSession::markDeleted(const std::vector<qint64>& uids) {
    for (const QByteArray& set : uidSets(uids)) {
        if (Result<void> done =
                command("UID STORE " + set + " +FLAGS.SILENT (\\Deleted)",
                        QStringLiteral("the marking of %1").arg(QString::fromLatin1(set.left(60))));
            !done.ok()) {
            return done;
        }
    }
    return {};
}

Result<std::vector<qint64>> ImapSession::deletedMessages() {
    std::vector<qint64> out;
    Result<void> done = command(
        "UID SEARCH DELETED", QStringLiteral("the search for \\Deleted"),
        [&](const ImapResponse& r) {
            if (!r.data.empty() && r.data.front().is("SEARCH")) {
                for (std::size_t i = 1; i < r.data.size() && std::ssize(out) < kMaxMessages; ++i) {
                    if (const std::optional<qint64> uid = r.data[i].number()) {
                        out.push_back(*uid);
                    }
                }
            }
        });
    if (!done.ok()) {
        return done.error();
    }
    return out;
}

Result<void> ImapSession::expunge(const std::vector<qint64>& uids) {
    for (const QByteArray& set : uidSets(uids)) {
        if (Result<void> done =
                command("UID EXPUNGE " + set,
                        QStringLiteral("the removal of %1").arg(QString::fromLatin1(set.left(60))));
            !done.ok()) {
            return done;
        }
    }
    return {};
}

Result<void> ImapSession::expungeAllMarked() {
    return command("EXPUNGE", QStringLiteral("EXPUNGE"));
}

Result<void> ImapSession::logout() {
    loggingOut_ = true;
    Result<void> done = command("LOGOUT", QStringLiteral("LOGOUT"));
    // Whatever the answer, nothing may follow a LOGOUT.
    (void)in_.broken(QStringLiteral("the session has ended"));
    return done;
}

}  // namespace kervo

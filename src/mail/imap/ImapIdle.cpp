// Waiting for news in IDLE: the part of the session the watcher of new mail uses.
#include <QDeadlineTimer>
#include <utility>

#include "app/TextSafety.h"
#include "mail/imap/ImapSession.h"

namespace kervo {

Result<void> ImapSession::beginIdle() {
    const QString what = QStringLiteral("IDLE");
    const Result<QByteArray> tag = send("IDLE", what);
    if (!tag.ok()) {
        return tag.error();
    }
    for (;;) {
        const Result<ImapResponse> response = next(what, in_.timeouts().responseMs);
        if (!response.ok()) {
            return response.error();
        }
        const ImapResponse& r = response.value();
        if (r.kind == ImapResponse::Kind::Continuation) {
            idleTag_ = tag.value();
            return {};
        }
        if (r.kind == ImapResponse::Kind::Tagged) {
            if (r.tag != tag.value() || r.status == "OK") {
                return in_.broken(QStringLiteral("IDLE ended before it began"));
            }
            return refused(what, r);
        }
    }
}

Result<IdleNews> ImapSession::waitInIdle(int timeoutMs) {
    const QString what = QStringLiteral("IDLE");
    if (idleTag_.isEmpty()) {
        return Error{in_.server() + QStringLiteral(": waiting in IDLE without IDLE")};
    }
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        const Result<bool> data =
            in_.waitForData(what, static_cast<int>(qMax<qint64>(0, deadline.remainingTime())));
        if (!data.ok()) {
            return data.error();
        }
        if (!data.value()) {
            return IdleNews::Nothing;
        }
        const Result<ImapResponse> response = next(what, in_.timeouts().responseMs);
        if (!response.ok()) {
            return response.error();
        }
        if (response.value().kind != ImapResponse::Kind::Untagged) {
            return in_.broken(QStringLiteral("an answer during IDLE that ends it unasked"));
        }
        // RECENT is not looked at: a new message always comes with EXISTS, and the RECENT that
        // follows it would tell the same news twice.
        if (grew_) {
            grew_ = false;
            return IdleNews::NewMail;
        }
        if (deadline.hasExpired()) {
            return IdleNews::Nothing;
        }
    }
}

Result<void> ImapSession::endIdle() {
    const QString what = QStringLiteral("the end of IDLE");
    if (idleTag_.isEmpty()) {
        return Error{in_.server() + QStringLiteral(": ending IDLE without IDLE")};
    }
    const QByteArray tag = std::exchange(idleTag_, QByteArray());
    if (Result<void> sent = in_.send("DONE\r\n", what); !sent.ok()) {
        return sent;
    }
    for (;;) {
        const Result<ImapResponse> response = next(what, in_.timeouts().responseMs);
        if (!response.ok()) {
            return response.error();
        }
        const ImapResponse& r = response.value();
        if (r.kind == ImapResponse::Kind::Tagged) {
            if (r.tag != tag) {
                return in_.broken(QStringLiteral("an answer under the unknown tag %1 during %2")
                                      .arg(displaySafe(QString::fromLatin1(r.tag.left(40))), what));
            }
            return r.status == "OK" ? Result<void>() : refused(what, r);
        }
    }
}

}  // namespace kervo

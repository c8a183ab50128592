#include "mail/pop/PopSession.h"

#include <QList>
#include <optional>
#include <utility>

#include "app/TextSafety.h"
#include "mail/pop/DotDecoder.h"

namespace kervo {

namespace {

constexpr qint64 kAnswerCredit = 2048;

// A mail number as the server lists it: 1 up to the largest int.
std::optional<int> parseMailNumber(const QByteArray& text) {
    const std::optional<qint64> number = decimalNumber(text);
    if (!number || *number < 1 || *number > 0x7fffffff) {
        return std::nullopt;
    }
    return static_cast<int>(*number);
}

}  // namespace

PopSession::PopSession(MailChannel& channel, const MailTimeouts& timeouts, QString serverName)
    : in_(channel, timeouts, std::move(serverName)) {}

Error PopSession::refused(const QString& what, const QByteArray& status) const {
    // The server's words are shown, but they come from the network.
    const QString said = displaySafe(QString::fromUtf8(status.left(200)));
    return Error{QStringLiteral("%1: %2 refused: %3").arg(in_.server(), what, said)};
}

Result<void> PopSession::sendQueued(const QString& what) {
    if (queued_.isEmpty()) {
        return {};
    }
    const Result<void> sent = in_.send(queued_, what);
    queued_.fill('\0');  // it may have held the password
    queued_.clear();
    return sent;
}

void PopSession::queue(const QByteArray& line) {
    queued_ += line;
    queued_ += "\r\n";
}

Result<void> PopSession::command(const QByteArray& line, const QString& what) {
    queue(line);
    return answer(what);
}

Result<void> PopSession::answer(const QString& what) {
    if (!in_.usable()) {
        queued_.clear();
        return Error{in_.server() +
                     QStringLiteral(": the session is no longer usable for %1").arg(what)};
    }
    if (Result<void> sent = sendQueued(what); !sent.ok()) {
        return sent;
    }
    const Result<QByteArray> status = in_.readLine(what, in_.timeouts().responseMs, kMaxLine);
    if (!status.ok()) {
        return status.error();
    }
    // An answer counts as progress of its own, so that a distant server with short answers is
    // not taken for one that drips.
    in_.credit(kAnswerCredit);
    if (status.value().startsWith("+OK")) {
        lastStatus_ = status.value();
        return {};
    }
    if (status.value().startsWith("-ERR")) {
        return refused(what, status.value());
    }
    return in_.broken(QStringLiteral("an answer to %1 that is neither +OK nor -ERR: %2")
                          .arg(what, displaySafe(QString::fromUtf8(status.value().left(80)))));
}

Result<void> PopSession::readListing(const QString& what,
                                     const std::function<void(const QByteArray&)>& each) {
    qsizetype lines = 0;
    qsizetype bytes = 0;
    for (;;) {
        Result<QByteArray> read = in_.readLine(what, in_.timeouts().stallMs, kMaxLine);
        if (!read.ok()) {
            return read.error();
        }
        QByteArray& line = read.value();
        if (line == ".") {
            return {};
        }
        if (line.startsWith('.')) {
            line.remove(0, 1);
        }
        bytes += line.size() + 2;
        if (++lines > kMaxListing || bytes > kMaxListingBytes) {
            return in_.broken(QStringLiteral("the answer to %1 is longer than %2 lines or %3 MB")
                                  .arg(what)
                                  .arg(kMaxListing)
                                  .arg(kMaxListingBytes / (1024 * 1024)));
        }
        each(line);
    }
}

Result<bool> PopSession::offersPipelining() {
    const QString what = QStringLiteral("CAPA");
    if (Result<void> answered = command("CAPA", what); !answered.ok()) {
        return usable() ? Result<bool>(false) : Result<bool>(answered.error());
    }
    bool offered = false;
    const Result<void> read = readListing(what, [&](const QByteArray& line) {
        offered = offered || line.simplified().toUpper() == "PIPELINING";
    });
    if (!read.ok()) {
        return read.error();
    }
    return offered;
}

Result<std::vector<MailListing>> PopSession::list() {
    const QString what = QStringLiteral("LIST");
    if (Result<void> answered = command("LIST", what); !answered.ok()) {
        return answered.error();
    }
    std::vector<MailListing> out;
    Result<void> badLine;  // the first line that is not "number size"
    const Result<void> read = readListing(what, [&](const QByteArray& line) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        const std::optional<int> number =
            fields.size() < 2 ? std::nullopt : parseMailNumber(fields[0]);
        const std::optional<qint64> size =
            fields.size() < 2 ? std::nullopt : decimalNumber(fields[1]);
        if (!number || !size) {
            if (badLine.ok()) {
                badLine =
                    Error{QStringLiteral("%1: a LIST line that is not \"number size\": %2")
                              .arg(in_.server(), displaySafe(QString::fromUtf8(line.left(80))))};
            }
            return;
        }
        out.push_back({*number, *size});
    });
    if (!read.ok()) {
        return read.error();
    }
    // The whole listing is read first, so that the dialogue stays in step.
    if (!badLine.ok()) {
        return badLine.error();
    }
    return out;
}

Result<MailboxSize> PopSession::stat() {
    const QString what = QStringLiteral("STAT");
    if (Result<void> answered = command("STAT", what); !answered.ok()) {
        return answered.error();
    }
    const QList<QByteArray> fields = lastStatus_.simplified().split(' ');
    const std::optional<qint64> mails = fields.size() < 3 ? std::nullopt : decimalNumber(fields[1]);
    const std::optional<qint64> bytes = fields.size() < 3 ? std::nullopt : decimalNumber(fields[2]);
    if (!mails || !bytes) {
        return Error{QStringLiteral("%1: a STAT answer that is not \"+OK count size\": %2")
                         .arg(in_.server(), displaySafe(QString::fromUtf8(lastStatus_.left(80))))};
    }
    return MailboxSize{*mails, *bytes};
}

Result<std::map<int, QByteArray>> PopSession::uniqueIds() {
    const QString what = QStringLiteral("UIDL");
    if (Result<void> answered = command("UIDL", what); !answered.ok()) {
        return answered.error();
    }
    std::map<int, QByteArray> out;
    const Result<void> read = readListing(what, [&](const QByteArray& line) {
        const QByteArray trimmed = line.trimmed();
        const qsizetype space = trimmed.indexOf(' ');
        const std::optional<int> number =
            space <= 0 ? std::nullopt : parseMailNumber(trimmed.left(space));
        if (!number) {
            return;  // an id we cannot read only costs the protection against refetching
        }
        out[*number] = trimmed.mid(space + 1).trimmed();
    });
    if (!read.ok()) {
        return read.error();
    }
    return out;
}

void PopSession::requestMail(int number) {
    queue("RETR " + QByteArray::number(number));
}

Result<void> PopSession::receiveMail(int number, MailSink& sink, qint64 maxBytes) {
    const QString what = QStringLiteral("RETR %1").arg(number);
    if (Result<void> answered = answer(what); !answered.ok()) {
        return answered;
    }
    DotDecoder decoder;
    QByteArray content;
    qint64 total = 0;
    Result<void> stored;  // what the sink said when it could not keep a piece
    for (;;) {
        if (in_.available() > 0) {
            content.resize(0);
            in_.consume(decoder.feed(in_.data(), in_.available(), content));
            total += content.size();
            // Beyond twice the limit the server is no longer sending a mail worth waiting for.
            if (total > 2 * maxBytes) {
                return in_.broken(QStringLiteral("mail %1 goes on beyond %2 bytes")
                                      .arg(number)
                                      .arg(2 * maxBytes));
            }
            // Past the limit, or once the sink failed, the rest is read and dropped.
            if (total <= maxBytes && stored.ok() && !content.isEmpty()) {
                stored = sink.write(content.constData(), content.size());
            }
            if (decoder.finished()) {
                break;
            }
        }
        if (Result<void> filled = in_.fill(what, in_.timeouts().stallMs); !filled.ok()) {
            return filled;
        }
    }
    if (total > maxBytes) {
        return Error{QStringLiteral("%1: mail %2 is larger than the limit of %3 bytes")
                         .arg(in_.server())
                         .arg(number)
                         .arg(maxBytes)};
    }
    return stored;
}

void PopSession::requestRemoval(int number) {
    queue("DELE " + QByteArray::number(number));
}

Result<void> PopSession::receiveRemoval(int number) {
    return answer(QStringLiteral("DELE %1").arg(number));
}

Result<void> PopSession::logOnWithUserPass(const QByteArray& user, const QByteArray& password) {
    if (Result<void> named = command("USER " + user, QStringLiteral("USER")); !named.ok()) {
        return named;
    }
    QByteArray line = "PASS " + password;
    Result<void> answered = command(line, QStringLiteral("PASS"));
    line.fill('\0');
    return answered;
}

Result<void> PopSession::quit() {
    Result<void> answered = command("QUIT", QStringLiteral("QUIT"));
    // Whatever the answer, nothing may follow a QUIT.
    (void)in_.broken(QStringLiteral("the session has ended"));
    return answered;
}

}  // namespace kervo

#include "mail/pop/PopSession.h"

#include <QDeadlineTimer>
#include <QList>
#include <optional>
#include <utility>

#include "app/TextSafety.h"
#include "mail/pop/DotDecoder.h"

namespace kervo {

namespace {

constexpr qsizetype kChunk = 64 * 1024;
constexpr qint64 kAnswerCredit = 2048;

QString secondsText(int ms) {
    return QString::number(ms / 1000.0, 'g', 3);
}

// A decimal number of up to 18 digits, nothing else; nothing when the text is not one.
std::optional<qint64> parseNumber(const QByteArray& text) {
    if (text.isEmpty() || text.size() > 18) {
        return std::nullopt;
    }
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
    }
    return text.toLongLong();
}

// A mail number as the server lists it: 1 up to the largest int.
std::optional<int> parseMailNumber(const QByteArray& text) {
    const std::optional<qint64> number = parseNumber(text);
    if (!number || *number < 1 || *number > 0x7fffffff) {
        return std::nullopt;
    }
    return static_cast<int>(*number);
}

}  // namespace

PopSession::PopSession(PopChannel& channel, const PopTimeouts& timeouts, QString serverName)
    : channel_(channel), timeouts_(timeouts), server_(std::move(serverName)) {}

Error PopSession::broken(const QString& text) {
    broken_ = true;
    return Error{server_ + QStringLiteral(": ") + text};
}

Error PopSession::refused(const QString& what, const QByteArray& status) const {
    // The server's words are shown, but they come from the network.
    const QString said = displaySafe(QString::fromUtf8(status.left(200)));
    return Error{QStringLiteral("%1: %2 refused: %3").arg(server_, what, said)};
}

Result<void> PopSession::sendQueued(const QString& what) {
    if (queued_.isEmpty()) {
        return {};
    }
    const Result<void> sent = channel_.sendAll(queued_, timeouts_.responseMs);
    queued_.fill('\0');  // it may have held the password
    queued_.clear();
    if (!sent.ok()) {
        return broken(QStringLiteral("%1 could not be sent: %2").arg(what, sent.error().message));
    }
    return {};
}

Result<void> PopSession::fill(const QString& what, int timeoutMs) {
    // Whatever is queued goes out before the session waits: the answer awaited may be its own.
    if (Result<void> sent = sendQueued(what); !sent.ok()) {
        return sent;
    }
    if (pos_ > 0 && pos_ == buffer_.size()) {
        buffer_.resize(0);  // keeps its room for the next piece
        pos_ = 0;
    } else if (pos_ > kChunk) {
        buffer_.remove(0, pos_);
        pos_ = 0;
    }
    const qsizetype old = buffer_.size();
    const QDeadlineTimer deadline(timeoutMs);
    for (;;) {
        // Never wait past the end of the rate window, so that a drip is judged in time.
        const qint64 windowLeft = qMax<qint64>(1, timeouts_.floorWindowMs - windowWaitMs_);
        const qint64 remaining = deadline.remainingTime();
        const int wait = static_cast<int>(remaining < 0 ? windowLeft : qMin(remaining, windowLeft));
        buffer_.resize(old + kChunk);
        QElapsedTimer waited;
        waited.start();
        const Received got = channel_.receive(buffer_.data() + old, kChunk, wait);
        windowWaitMs_ += waited.elapsed();
        buffer_.resize(old + (got.status == Received::Status::Data ? got.bytes : 0));
        if (got.status == Received::Status::Data) {
            windowBytes_ += got.bytes;
        }
        if (Result<void> floor = checkFloor(what); !floor.ok()) {
            return floor;
        }
        switch (got.status) {
            case Received::Status::Data:
                return {};
            case Received::Status::Closed:
                return broken(
                    QStringLiteral("the server closed the connection during %1").arg(what));
            case Received::Status::TimedOut:
                if (deadline.hasExpired()) {
                    return broken(QStringLiteral("no data from the server for %1 s during %2")
                                      .arg(secondsText(timeoutMs), what));
                }
                continue;
            case Received::Status::Failed:
                break;
        }
        return broken(QStringLiteral("the connection failed during %1: %2").arg(what, got.error));
    }
}

Result<void> PopSession::checkFloor(const QString& what) {
    if (windowWaitMs_ < timeouts_.floorWindowMs) {
        return {};
    }
    const qint64 floor = qint64(timeouts_.floorBytesPerSecond) * timeouts_.floorWindowMs / 1000;
    if (windowBytes_ < floor) {
        return broken(QStringLiteral("the server sent only %1 bytes in %2 s during %3, less than "
                                     "%4 bytes a second; the session is given up")
                          .arg(windowBytes_)
                          .arg(secondsText(static_cast<int>(windowWaitMs_)), what)
                          .arg(timeouts_.floorBytesPerSecond));
    }
    windowBytes_ = 0;
    windowWaitMs_ = 0;
    return {};
}

Result<QByteArray> PopSession::readLine(const QString& what, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    qsizetype scanned = 0;  // relative to pos_, which a refill may move
    for (;;) {
        const qsizetype end = buffer_.indexOf('\n', pos_ + scanned);
        if (end >= 0 && end - pos_ <= kMaxLine) {
            QByteArray line = buffer_.mid(pos_, end - pos_);
            if (line.endsWith('\r')) {
                line.chop(1);
            }
            pos_ = end + 1;
            return line;
        }
        if (end >= 0 || buffer_.size() - pos_ > kMaxLine) {
            return broken(QStringLiteral("an answer line longer than %1 bytes during %2")
                              .arg(kMaxLine)
                              .arg(what));
        }
        scanned = buffer_.size() - pos_;
        const qint64 remaining = deadline.remainingTime();
        if (remaining == 0) {
            return broken(
                QStringLiteral("no answer within %1 s to %2").arg(secondsText(timeoutMs), what));
        }
        if (Result<void> filled = fill(what, static_cast<int>(remaining)); !filled.ok()) {
            return filled.error();
        }
    }
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
    if (broken_) {
        queued_.clear();
        return Error{server_ +
                     QStringLiteral(": the session is no longer usable for %1").arg(what)};
    }
    if (Result<void> sent = sendQueued(what); !sent.ok()) {
        return sent;
    }
    const Result<QByteArray> status = readLine(what, timeouts_.responseMs);
    if (!status.ok()) {
        return status.error();
    }
    // An answer counts as progress of its own, so that a distant server with short answers is
    // not taken for one that drips.
    windowBytes_ += kAnswerCredit;
    if (status.value().startsWith("+OK")) {
        lastStatus_ = status.value();
        return {};
    }
    if (status.value().startsWith("-ERR")) {
        return refused(what, status.value());
    }
    return broken(QStringLiteral("an answer to %1 that is neither +OK nor -ERR: %2")
                      .arg(what, displaySafe(QString::fromUtf8(status.value().left(80)))));
}

Result<void> PopSession::readListing(const QString& what,
                                     const std::function<void(const QByteArray&)>& each) {
    qsizetype lines = 0;
    qsizetype bytes = 0;
    for (;;) {
        Result<QByteArray> read = readLine(what, timeouts_.stallMs);
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
            return broken(QStringLiteral("the answer to %1 is longer than %2 lines or %3 MB")
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
            fields.size() < 2 ? std::nullopt : parseNumber(fields[1]);
        if (!number || !size) {
            if (badLine.ok()) {
                badLine = Error{QStringLiteral("%1: a LIST line that is not \"number size\": %2")
                                    .arg(server_, displaySafe(QString::fromUtf8(line.left(80))))};
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
    const std::optional<qint64> mails = fields.size() < 3 ? std::nullopt : parseNumber(fields[1]);
    const std::optional<qint64> bytes = fields.size() < 3 ? std::nullopt : parseNumber(fields[2]);
    if (!mails || !bytes) {
        return Error{QStringLiteral("%1: a STAT answer that is not \"+OK count size\": %2")
                         .arg(server_, displaySafe(QString::fromUtf8(lastStatus_.left(80))))};
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
        if (pos_ < buffer_.size()) {
            content.resize(0);
            pos_ += decoder.feed(buffer_.constData() + pos_, buffer_.size() - pos_, content);
            total += content.size();
            // Beyond twice the limit the server is no longer sending a mail worth waiting for.
            if (total > 2 * maxBytes) {
                return broken(QStringLiteral("mail %1 goes on beyond %2 bytes")
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
        if (Result<void> filled = fill(what, timeouts_.stallMs); !filled.ok()) {
            return filled;
        }
    }
    if (total > maxBytes) {
        return Error{QStringLiteral("%1: mail %2 is larger than the limit of %3 bytes")
                         .arg(server_)
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
    broken_ = true;  // whatever the answer, nothing may follow a QUIT
    return answered;
}

}  // namespace kervo

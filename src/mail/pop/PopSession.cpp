#include "mail/pop/PopSession.h"

#include <QDeadlineTimer>
#include <QList>
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

bool parseNumber(const QByteArray& text, qint64& value) {
    if (text.isEmpty() || text.size() > 18) {
        return false;
    }
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    value = text.toLongLong();
    return true;
}

}  // namespace

PopSession::PopSession(PopChannel& channel, const PopTimeouts& timeouts, QString serverName)
    : channel_(channel), timeouts_(timeouts), server_(std::move(serverName)) {}

QString PopSession::broken(const QString& text) {
    broken_ = true;
    return server_ + QStringLiteral(": ") + text;
}

QString PopSession::refused(const QString& what, const QByteArray& status) const {
    // The server's words are shown, but they come from the network.
    const QString said = displaySafe(QString::fromUtf8(status.left(200)));
    return QStringLiteral("%1: %2 refused: %3").arg(server_, what, said);
}

QString PopSession::fill(const QString& what, int timeoutMs) {
    if (pos_ > 0 && pos_ == buffer_.size()) {
        buffer_.clear();
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
        if (QString error = checkFloor(what); !error.isEmpty()) {
            return error;
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

QString PopSession::checkFloor(const QString& what) {
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

QString PopSession::readLine(QByteArray& line, const QString& what, int timeoutMs) {
    const QDeadlineTimer deadline(timeoutMs);
    qsizetype scanned = 0;  // relative to pos_, which a refill may move
    for (;;) {
        const qsizetype end = buffer_.indexOf('\n', pos_ + scanned);
        if (end >= 0 && end - pos_ <= kMaxLine) {
            line = buffer_.mid(pos_, end - pos_);
            if (line.endsWith('\r')) {
                line.chop(1);
            }
            pos_ = end + 1;
            return {};
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
        if (QString error = fill(what, static_cast<int>(remaining)); !error.isEmpty()) {
            return error;
        }
    }
}

QString PopSession::command(const QByteArray& line, const QString& what) {
    if (broken_) {
        return server_ + QStringLiteral(": the session is no longer usable for %1").arg(what);
    }
    if (QString error = channel_.sendAll(line + "\r\n", timeouts_.responseMs); !error.isEmpty()) {
        return broken(QStringLiteral("%1 could not be sent: %2").arg(what, error));
    }
    QByteArray status;
    if (QString error = readLine(status, what, timeouts_.responseMs); !error.isEmpty()) {
        return error;
    }
    // An answer counts as progress of its own, so that a distant server with short answers is
    // not taken for one that drips.
    windowBytes_ += kAnswerCredit;
    if (status.startsWith("+OK")) {
        return {};
    }
    if (status.startsWith("-ERR")) {
        return refused(what, status);
    }
    return broken(QStringLiteral("an answer to %1 that is neither +OK nor -ERR: %2")
                      .arg(what, displaySafe(QString::fromUtf8(status.left(80)))));
}

QString PopSession::readListing(const QString& what,
                                const std::function<void(const QByteArray&)>& each) {
    qsizetype lines = 0;
    qsizetype bytes = 0;
    for (;;) {
        QByteArray line;
        if (QString error = readLine(line, what, timeouts_.stallMs); !error.isEmpty()) {
            return error;
        }
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

QString PopSession::list(std::vector<MailListing>& out) {
    out.clear();
    const QString what = QStringLiteral("LIST");
    if (QString error = command("LIST", what); !error.isEmpty()) {
        return error;
    }
    QString bad;
    QString error = readListing(what, [&](const QByteArray& line) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        qint64 number = 0;
        qint64 size = 0;
        if (fields.size() < 2 || !parseNumber(fields[0], number) || number < 1 ||
            number > 0x7fffffff || !parseNumber(fields[1], size)) {
            if (bad.isEmpty()) {
                bad = QStringLiteral("%1: a LIST line that is not \"number size\": %2")
                          .arg(server_, displaySafe(QString::fromUtf8(line.left(80))));
            }
            return;
        }
        out.push_back({static_cast<int>(number), size});
    });
    return error.isEmpty() ? bad : error;
}

QString PopSession::uniqueIds(std::map<int, QByteArray>& out) {
    out.clear();
    const QString what = QStringLiteral("UIDL");
    if (QString error = command("UIDL", what); !error.isEmpty()) {
        return error;
    }
    return readListing(what, [&](const QByteArray& line) {
        const QByteArray trimmed = line.trimmed();
        const qsizetype space = trimmed.indexOf(' ');
        qint64 number = 0;
        if (space <= 0 || !parseNumber(trimmed.left(space), number) || number < 1 ||
            number > 0x7fffffff) {
            return;  // an id we cannot read only costs the protection against refetching
        }
        out[static_cast<int>(number)] = trimmed.mid(space + 1).trimmed();
    });
}

QString PopSession::retrieve(int number, MailSink& sink, qint64 maxBytes) {
    const QString what = QStringLiteral("RETR %1").arg(number);
    if (QString error = command("RETR " + QByteArray::number(number), what); !error.isEmpty()) {
        return error;
    }
    DotDecoder decoder;
    QByteArray content;
    qint64 total = 0;
    bool kept = true;
    for (;;) {
        if (pos_ < buffer_.size()) {
            content.clear();
            pos_ += decoder.feed(buffer_.constData() + pos_, buffer_.size() - pos_, content);
            total += content.size();
            if (total > maxBytes) {
                kept = false;
                // Beyond twice the limit the server is no longer sending a mail worth waiting for.
                if (total > 2 * maxBytes) {
                    return broken(QStringLiteral("mail %1 goes on beyond %2 bytes")
                                      .arg(number)
                                      .arg(2 * maxBytes));
                }
            }
            if (kept && !content.isEmpty()) {
                kept = sink.write(content.constData(), content.size());
            }
            if (decoder.finished()) {
                break;
            }
        }
        if (QString error = fill(what, timeouts_.stallMs); !error.isEmpty()) {
            return error;
        }
    }
    if (total > maxBytes) {
        return QStringLiteral("%1: mail %2 is larger than the limit of %3 bytes")
            .arg(server_)
            .arg(number)
            .arg(maxBytes);
    }
    if (!kept) {
        return sink.failure();
    }
    return {};
}

QString PopSession::remove(int number) {
    return command("DELE " + QByteArray::number(number), QStringLiteral("DELE %1").arg(number));
}

QString PopSession::logOnWithUserPass(const QByteArray& user, const QByteArray& password) {
    if (QString error = command("USER " + user, QStringLiteral("USER")); !error.isEmpty()) {
        return error;
    }
    QByteArray line = "PASS " + password;
    QString error = command(line, QStringLiteral("PASS"));
    line.fill('\0');
    return error;
}

QString PopSession::quit() {
    QString error = command("QUIT", QStringLiteral("QUIT"));
    broken_ = true;  // whatever the answer, nothing may follow a QUIT
    return error;
}

}  // namespace kervo

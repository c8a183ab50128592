#include "mail/transport/ChannelReader.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <utility>

namespace kervo {

namespace {

constexpr qsizetype kChunk = 64 * 1024;

}  // namespace

QString secondsText(int ms) {
    return QString::number(ms / 1000.0, 'g', 3);
}

ChannelReader::ChannelReader(MailChannel& channel, const MailTimeouts& timeouts, QString serverName)
    : channel_(channel), timeouts_(timeouts), server_(std::move(serverName)) {}

Error ChannelReader::broken(const QString& text) {
    broken_ = true;
    return Error{server_ + QStringLiteral(": ") + text};
}

Result<void> ChannelReader::send(QByteArrayView bytes, const QString& what) {
    if (broken_) {
        return Error{server_ +
                     QStringLiteral(": the session is no longer usable for %1").arg(what)};
    }
    const Result<void> sent = channel_.sendAll(bytes, timeouts_.responseMs);
    if (!sent.ok()) {
        return broken(QStringLiteral("%1 could not be sent: %2").arg(what, sent.error().message));
    }
    return {};
}

Result<bool> ChannelReader::waitForData(const QString& what, int timeoutMs) {
    if (available() > 0) {
        return true;
    }
    buffer_.resize(0);
    pos_ = 0;
    buffer_.resize(kChunk);
    const Received got = channel_.receive(buffer_.data(), kChunk, timeoutMs);
    buffer_.resize(got.status == Received::Status::Data ? got.bytes : 0);
    switch (got.status) {
        case Received::Status::Data:
            return true;
        case Received::Status::TimedOut:
            return false;
        case Received::Status::Closed:
            return broken(QStringLiteral("the server closed the connection during %1").arg(what));
        case Received::Status::Failed:
            break;
    }
    return broken(QStringLiteral("the connection failed during %1: %2").arg(what, got.error));
}

Result<void> ChannelReader::fill(const QString& what, int timeoutMs) {
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

Result<void> ChannelReader::checkFloor(const QString& what) {
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

Result<QByteArray> ChannelReader::readLine(const QString& what, int timeoutMs, qsizetype maxLine) {
    const QDeadlineTimer deadline(timeoutMs);
    qsizetype scanned = 0;  // relative to pos_, which a refill may move
    for (;;) {
        const qsizetype end = buffer_.indexOf('\n', pos_ + scanned);
        if (end >= 0 && end - pos_ <= maxLine) {
            QByteArray line = buffer_.mid(pos_, end - pos_);
            if (line.endsWith('\r')) {
                line.chop(1);
            }
            pos_ = end + 1;
            return line;
        }
        if (end >= 0 || buffer_.size() - pos_ > maxLine) {
            return broken(QStringLiteral("an answer line longer than %1 bytes during %2")
                              .arg(maxLine)
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

std::optional<qint64> decimalNumber(QByteArrayView text) {
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

}  // namespace kervo

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <optional>

#include "app/Result.h"
#include "mail/transport/MailChannel.h"

namespace kervo {

// The receiving half of a mail dialogue: what the server sent and the session has not yet taken,
// read from the channel only when more is needed, with the timeouts and the transfer rate floor
// of MailTimeouts. Any failure of the channel, a timeout or a line beyond its bound loses the
// dialogue: the reader is then marked so (usable() false) and the Error names the server.
class ChannelReader {
  public:
    ChannelReader(MailChannel& channel, const MailTimeouts& timeouts, QString serverName);

    // Sends the bytes of a command; what names it in an Error.
    Result<void> send(QByteArrayView bytes, const QString& what);
    // Waits up to timeoutMs for at least one more byte.
    Result<void> fill(const QString& what, int timeoutMs);
    // Whether a byte arrives within timeoutMs; a quiet server is no failure here, and the wait
    // does not count against the rate floor (a server with nothing to say sends nothing).
    Result<bool> waitForData(const QString& what, int timeoutMs);
    // One line without its line end, of at most maxLine bytes.
    Result<QByteArray> readLine(const QString& what, int timeoutMs, qsizetype maxLine);

    // The bytes received and not yet taken.
    const char* data() const { return buffer_.constData() + pos_; }
    qsizetype available() const { return buffer_.size() - pos_; }
    void consume(qsizetype bytes) { pos_ += bytes; }
    // A short answer counts as progress of its own, so that a distant server with short answers
    // is not taken for one that drips.
    void credit(qint64 bytes) { windowBytes_ += bytes; }

    // The dialogue is lost: marks the reader so and says why, naming the server.
    Error broken(const QString& text);
    bool usable() const { return !broken_; }
    const QString& server() const { return server_; }
    const MailTimeouts& timeouts() const { return timeouts_; }

  private:
    Result<void> checkFloor(const QString& what);

    MailChannel& channel_;
    MailTimeouts timeouts_;
    QString server_;
    QByteArray buffer_;
    qsizetype pos_ = 0;
    bool broken_ = false;
    // The transfer rate floor: bytes received over the time spent waiting for them.
    qint64 windowBytes_ = 0;
    qint64 windowWaitMs_ = 0;
};

// Seconds for a text, e.g. "60" or "0.5".
QString secondsText(int ms);

// A decimal number of up to 18 digits, nothing else, as a server writes counts, sizes and
// numbers; nothing when the text is not one.
std::optional<qint64> decimalNumber(QByteArrayView text);

}  // namespace kervo

#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <functional>
#include <map>
#include <vector>

#include "mail/pop/PopChannel.h"

namespace kervo {

// Where a retrieved mail goes, piece by piece.
class MailSink {
  public:
    virtual ~MailSink() = default;
    // False when the bytes could not be kept. The transfer is then read to its end and dropped,
    // so that the session stays usable for the commands that follow.
    virtual bool write(const char* data, qsizetype size) = 0;
    virtual QString failure() const = 0;
};

struct MailListing {
    int number = 0;
    qint64 size = 0;
};

// The transaction state of RFC 1939 over a logged-on channel. Every command returns an error
// text, empty on success. After a failure usable() says whether the dialogue is still in step
// (the server refused, or the mail could not be stored locally) or lost (connection closed,
// timeout, garbage), in which case the session must be dropped without QUIT.
class PopSession {
  public:
    static constexpr qsizetype kMaxLine = 8192;  // answers and listing lines; mail lines are free
    static constexpr qsizetype kMaxListing = 1'000'000;
    // All lines of one LIST or UIDL answer together; about 400,000 mails with the longest ids.
    static constexpr qsizetype kMaxListingBytes = 32 * 1024 * 1024;

    PopSession(PopChannel& channel, const PopTimeouts& timeouts, QString serverName);

    QString list(std::vector<MailListing>& out);
    // The unique ids by mail number, raw as the server sent them. A server without UIDL
    // answers -ERR: an error text with usable() still true.
    QString uniqueIds(std::map<int, QByteArray>& out);
    // A mail that turns out larger than maxBytes is read to its end and dropped, so that the
    // session stays usable; the error then says so.
    QString retrieve(int number, MailSink& sink, qint64 maxBytes);
    QString remove(int number);
    QString quit();
    // The clear-text log-on of RFC 1939, for a channel that is connected but not logged on.
    QString logOnWithUserPass(const QByteArray& user, const QByteArray& password);

    bool usable() const { return !broken_; }

  private:
    QString command(const QByteArray& line, const QString& what);
    QString readLine(QByteArray& line, const QString& what, int timeoutMs);
    QString fill(const QString& what, int timeoutMs);
    QString checkFloor(const QString& what);
    QString readListing(const QString& what, const std::function<void(const QByteArray&)>& each);
    QString broken(const QString& text);
    QString refused(const QString& what, const QByteArray& status) const;

    PopChannel& channel_;
    PopTimeouts timeouts_;
    QString server_;
    QByteArray buffer_;
    qsizetype pos_ = 0;
    bool broken_ = false;
    // The transfer rate floor: bytes received over the time spent waiting for them.
    qint64 windowBytes_ = 0;
    qint64 windowWaitMs_ = 0;
};

}  // namespace kervo

#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <map>
#include <vector>

#include "app/Result.h"
#include "mail/transport/ChannelReader.h"
#include "mail/transport/ServerCheckReport.h"

namespace kervo {

struct MailListing {
    int number = 0;
    qint64 size = 0;
};

// The transaction state of RFC 1939 over a logged-on channel. After a command fails, usable()
// says whether the dialogue is still in step (the server refused, or the mail could not be
// stored locally) or lost (connection closed, timeout, garbage), in which case the session must
// be dropped without QUIT.
//
// Retrieval and deletion come in two halves so that a caller can keep several commands in
// flight where the server offers PIPELINING (RFC 2449): requestMail and requestRemoval only
// queue the command, and the queue goes out in one write as soon as an answer is awaited; the
// answers are then taken in the order the commands were queued, with receiveMail and
// receiveRemoval. A caller that waits for each answer before the next request talks one command
// at a time, as RFC 1939 expects of a server without PIPELINING.
class PopSession {
  public:
    static constexpr qsizetype kMaxLine = 8192;  // answers and listing lines; mail lines are free
    static constexpr qsizetype kMaxListing = 1'000'000;
    // All lines of one LIST or UIDL answer together; about 400,000 mails with the longest ids.
    static constexpr qsizetype kMaxListingBytes = 32 * 1024 * 1024;

    PopSession(MailChannel& channel, const MailTimeouts& timeouts, QString serverName);

    // Whether the server, asked with CAPA, offers PIPELINING. A server without CAPA offers
    // nothing: false, and the session stays usable.
    Result<bool> offersPipelining();
    Result<std::vector<MailListing>> list();
    Result<MailboxSize> stat();
    // The unique ids by mail number, raw as the server sent them. A server without UIDL
    // answers -ERR: an Error with usable() still true.
    Result<std::map<int, QByteArray>> uniqueIds();
    void requestMail(int number);
    // A mail that turns out larger than maxBytes is read to its end and dropped, so that the
    // session stays usable; the Error then says so.
    Result<void> receiveMail(int number, MailSink& sink, qint64 maxBytes);
    void requestRemoval(int number);
    Result<void> receiveRemoval(int number);
    Result<void> quit();
    // The clear-text log-on of RFC 1939, for a channel that is connected but not logged on.
    Result<void> logOnWithUserPass(const QByteArray& user, const QByteArray& password);

    bool usable() const { return in_.usable(); }

  private:
    Result<void> command(const QByteArray& line, const QString& what);
    void queue(const QByteArray& line);
    // The status line of the oldest command in flight; sends what is queued first.
    Result<void> answer(const QString& what);
    Result<void> sendQueued(const QString& what);
    Result<void> readListing(const QString& what,
                             const std::function<void(const QByteArray&)>& each);
    Error refused(const QString& what, const QByteArray& status) const;

    ChannelReader in_;
    QByteArray queued_;      // commands not yet sent
    QByteArray lastStatus_;  // the last +OK line, for the commands that answer on it
};

}  // namespace kervo

#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QSet>
#include <QString>
#include <functional>
#include <vector>

#include "app/Result.h"
#include "mail/imap/ImapResponse.h"
#include "mail/transport/ChannelReader.h"

namespace kervo {

// What SELECT tells of the mailbox.
struct SelectedMailbox {
    qint64 uidValidity = 0;  // 0 when the server named none
    qint64 exists = 0;
    qint64 uidNext = 0;  // 0 when the server named none
};

// One message of the selected mailbox, as UID FETCH lists it.
struct ImapMessage {
    qint64 uid = 0;
    qint64 size = 0;
    bool deleted = false;  // marked \Deleted, by us or by another client
};

// What the server said during IDLE.
enum class IdleNews {
    NewMail,  // EXISTS grew
    Nothing,  // the time ran out with no news
};

// The IMAP dialogue over a logged-on channel, with tags of its own ("k1", "k2", ...). Untagged
// data is taken whenever it comes: EXISTS, EXPUNGE, CAPABILITY, the codes of OK, and BYE, which
// ends the session. After a command fails, usable() says whether the dialogue is still in step
// (the server answered NO or BAD, or a mail could not be kept here) or lost (connection closed,
// timeout, garbage, BYE), in which case the session must be dropped. Nothing here ever expunges
// a message implicitly: CLOSE is never sent.
class ImapSession {
  public:
    ImapSession(MailChannel& channel, const MailTimeouts& timeouts, QString where);

    Result<void> readCapabilities();
    // The LOGIN command, for a channel that is connected (and secured) but not logged on.
    Result<void> logIn(const QByteArray& user, const QByteArray& password);
    // A capability the server announced, e.g. "IDLE" or "UIDPLUS"; any case.
    bool offers(QByteArrayView capability) const;
    // SELECT, or EXAMINE when readOnly: then nothing of the mailbox can change.
    Result<SelectedMailbox> select(const QString& mailbox, bool readOnly = false);
    // Every message of the selected mailbox with its size and whether it is marked \Deleted.
    Result<std::vector<ImapMessage>> listMessages();
    // The whole message into the sink `target` gives for its size, unmarked (BODY.PEEK). An
    // Error with usable() still true when the message is gone, the target refused it or the
    // sink failed; a body beyond maxBytes loses the dialogue unread.
    Result<void> fetchMessage(qint64 uid, const BodyTarget& target, qint64 maxBytes);
    // Marks the messages \Deleted, silently.
    Result<void> markDeleted(const std::vector<qint64>& uids);
    // The UIDs of every message marked \Deleted, whoever marked it.
    Result<std::vector<qint64>> deletedMessages();
    // Removes exactly these messages (UID EXPUNGE); only where UIDPLUS is offered.
    Result<void> expunge(const std::vector<qint64>& uids);
    // Removes every message marked \Deleted (EXPUNGE), whoever marked it.
    Result<void> expungeAllMarked();

    Result<void> beginIdle();  // IDLE sent and its "+" seen
    // Waits up to timeoutMs for news. An Error when the connection dropped or BYE came.
    Result<IdleNews> waitInIdle(int timeoutMs);
    Result<void> endIdle();  // DONE, then the tagged OK
    Result<void> logout();

    bool usable() const { return in_.usable(); }
    qint64 exists() const { return exists_; }

  private:
    using DataHandler = std::function<void(const ImapResponse&)>;
    // Sends the command under a new tag and takes responses up to its tagged one; the untagged
    // data goes to onData after the session noted what it tells.
    Result<void> command(const QByteArray& text, const QString& what,
                         const DataHandler& onData = {}, const BodyTarget& body = {},
                         qint64 bodyLimit = 0);
    Result<QByteArray> send(const QByteArray& text, const QString& what);
    Result<ImapResponse> next(const QString& what, int timeoutMs, const BodyTarget& body = {},
                              qint64 bodyLimit = 0);
    // Notes what untagged data tells of the session; an Error for BYE.
    Result<void> note(const ImapResponse& response, const QString& what);
    Error refused(const QString& what, const ImapResponse& status) const;

    ChannelReader in_;
    ImapResponseReader reader_;
    int nextTag_ = 1;
    QSet<QByteArray> capabilities_;
    qint64 exists_ = 0;
    bool grew_ = false;   // EXISTS rose since the news was last handed out
    QByteArray idleTag_;  // the IDLE in progress
    bool loggingOut_ = false;
};

// A mailbox name as a quoted string of modified UTF-7, as IMAP writes mailbox names.
QByteArray imapMailboxName(const QString& name);
// UIDs as IMAP sets, e.g. {1,2,3,7} gives "1:3,7"; split so that no set grows beyond maxBytes.
QList<QByteArray> uidSets(std::vector<qint64> uids, qsizetype maxBytes = 4000);

}  // namespace kervo

#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "app/Result.h"
#include "mail/transport/FetchOptions.h"

namespace kervo {

class MailFolder;

struct ImapSessionOutcome {
    QStringList saved;  // full paths in new/, in UID order
    std::vector<SkippedMail> skipped;
    // Without UIDPLUS, messages another client marked \Deleted kept ours from being expunged:
    // ours stay marked and on record, and the next poll tries again.
    bool waitingForOthers = false;
    Result<void> ended;  // whether the session ran to its end, and if not, why
};

// Empties the mailbox of a logged-on session into the folder. Messages come in batches, in UID
// order: the batch's messages are fetched into tmp/, made durable and moved into new/
// together, their UIDs recorded durably (in meta/, for this mailbox and its UIDVALIDITY), and
// only then are they marked \Deleted and expunged. A message is never expunged unsaved: with
// UIDPLUS only our own UIDs are expunged; without it, EXPUNGE is sent only when every message
// marked \Deleted is one of ours. A message saved and marked by an earlier session that never
// got to expunge it is recognised by its recorded UID and only removed; one another client
// marked \Deleted is left alone. A changed UIDVALIDITY drops the record: at worst a message is
// analysed twice, never lost. A message that cannot be fetched (too large, no room, refused)
// stays on the server and the others are fetched all the same; a session that breaks still
// saves the messages it received whole. The trace is told "FETCH uid", "received uid",
// "record uids", "STORE uids", "EXPUNGE uids" (or "EXPUNGE" without UIDPLUS) as they happen.
ImapSessionOutcome fetchImapMailbox(MailChannel& channel, const QString& serverName,
                                    MailFolder& folder, const QString& mailbox,
                                    const FetchOptions& options);

// Where the record of the UIDs saved but not yet expunged is kept for a mailbox.
QString imapRecordPath(const MailFolder& folder, const QString& mailbox);

}  // namespace kervo

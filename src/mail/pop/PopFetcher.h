#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "app/Result.h"
#include "mail/transport/FetchOptions.h"

namespace kervo {

class MailFolder;
class UidlRecord;

struct SessionOutcome {
    QStringList saved;  // full paths in new/, in server order
    std::vector<SkippedMail> skipped;
    bool pipelined = false;  // the server offered PIPELINING and commands went out in windows
    Result<void> ended;      // whether the session ran to its confirmed QUIT, and if not, why
};

// Saves every mail of a logged-on session and deletes each from the server only once it is
// durable in new/ (and its id recorded). Mails come in batches, in server order: the batch's
// mails are retrieved into tmp/, made durable and moved into new/ together, their ids recorded
// together, and only then are their DELEs sent. That saving runs on a thread of its own while
// the next batch is retrieved, so its steps reach the trace among that batch's RETRs, from that
// thread (never two calls at once). Where the server offers PIPELINING, a window of commands is
// kept in flight; otherwise one command at a time. A mail that cannot be fetched
// (too large, no room on the disk, refused or cut short while the dialogue stays in step) stays
// on the server and the others are fetched all the same. A session that breaks still saves the
// mails it received whole. Ends with QUIT when the dialogue is still in step, so that the
// deletions of the mails saved so far are committed even after a failure; drops the session
// otherwise, leaving every mail on the server. The trace is told "RETR n" as each retrieval is
// asked for and "received n" once the mail is whole in tmp/, "record ids" before the ids of a
// batch's saved mails are recorded, "DELE n" as each deletion is asked for and "deleted n" once
// the server accepted it.
SessionOutcome fetchMailbox(MailChannel& channel, const QString& serverName, MailFolder& folder,
                            UidlRecord& record, const FetchOptions& options);

}  // namespace kervo

#include "mail/pop/PopMailbox.h"

#include "app/TextSafety.h"
#include "mail/pop/CurlPopConnection.h"
#include "mail/pop/PopFetcher.h"
#include "mail/transport/MailFolder.h"
#include "mail/transport/UidlRecord.h"

namespace kervo {

void PopMailbox::fetchFrom(const ServerAddress& address, const MailAccount& account,
                           MailFolder& folder, const FetchOptions& options, FetchOutcome& outcome) {
    if (address.protocol != MailProtocol::Pop3) {
        outcome.ended =
            Error{QStringLiteral("the mail server %1 is an IMAP address, not for this mailbox")
                      .arg(address.display())};
        return;
    }
    UidlRecord record(folder.metaDir() + QStringLiteral("/uidl"));
    if (Result<void> loaded = record.load(); !loaded.ok()) {
        outcome.ended = loaded.error();
        return;
    }

    CurlPopConnection connection;
    if (Result<void> opened = connection.open(address, account.user, account.password,
                                              options.timeouts, logOnMethod_);
        !opened.ok()) {
        outcome.ended = opened.error();
        return;
    }
    if (connection.logOnMethod() != logOnMethod_) {
        logOnMethod_ = connection.logOnMethod();
        outcome.notices.append(
            QStringLiteral("logged on to the mail server %1 as \"%2\" with %3")
                .arg(address.display(), displaySafe(account.user), logOnMethod_));
    }
    SessionOutcome session = fetchMailbox(
        connection, QStringLiteral("mail server ") + address.display(), folder, record, options);
    outcome.files.append(session.saved);
    if (session.ended.ok() && pipelined_ != session.pipelined) {
        pipelined_ = session.pipelined;
        outcome.notices.append(session.pipelined
                                   ? QStringLiteral("the mail server %1 takes pipelined commands")
                                         .arg(address.display())
                                   : QStringLiteral("the mail server %1 offers no pipelining: "
                                                    "one command at a time")
                                         .arg(address.display()));
    }
    if (!session.ended.ok()) {
        outcome.ended = session.ended.error();
    }
    noteSkipped(session.skipped, session.ended.ok(), outcome);
}

}  // namespace kervo

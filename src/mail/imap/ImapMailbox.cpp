#include "mail/imap/ImapMailbox.h"

#include "app/TextSafety.h"
#include "mail/imap/CurlImapConnection.h"
#include "mail/imap/ImapFetcher.h"

namespace kervo {

void ImapMailbox::fetchFrom(const ServerAddress& address, const MailAccount& account,
                            MailFolder& folder, const FetchOptions& options,
                            FetchOutcome& outcome) {
    if (address.protocol != MailProtocol::Imap) {
        outcome.ended =
            Error{QStringLiteral("the mail server %1 is a POP3 address, not for this mailbox")
                      .arg(address.display())};
        return;
    }
    CurlImapConnection connection;
    if (Result<void> opened =
            connection.open(address, account.user, account.password, options.timeouts);
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
    const QString where = QStringLiteral("mail server ") + address.display();
    ImapSessionOutcome session =
        fetchImapMailbox(connection, where, folder, address.mailbox, options);
    outcome.files.append(session.saved);
    if (!session.ended.ok()) {
        outcome.ended = session.ended.error();
    }
    noteOnce(QStringLiteral("waiting for others"),
             QStringLiteral("the %1 has messages another client marked \\Deleted and offers no "
                            "UIDPLUS: the messages saved here stay marked until those are gone, "
                            "and are expunged then")
                 .arg(where),
             session.waitingForOthers, outcome);
    noteSkipped(session.skipped, session.ended.ok(), outcome);
}

}  // namespace kervo

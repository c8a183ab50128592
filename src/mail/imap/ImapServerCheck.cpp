#include "mail/imap/ImapServerCheck.h"

#include "mail/imap/CurlImapConnection.h"
#include "mail/imap/ImapSession.h"
#include "mail/transport/ServerCheckOpening.h"

namespace kervo {

Result<ServerCheckReport, ServerCheckFailure> checkImapServer(const ServerAddress& address,
                                                              const MailAccount& account,
                                                              const MailTimeouts& timeouts) {
    const TransferLibraryInUse library;
    CurlImapConnection connection;
    Result<ServerCheckReport, ServerCheckFailure> opened =
        openForCheck(connection, address, account, timeouts);
    if (!opened.ok()) {
        return opened;
    }
    ServerCheckReport report = std::move(opened).value();
    ImapSession session(connection, timeouts, QStringLiteral("mail server ") + address.display());
    const auto failed = [&](const Error& error) {
        return ServerCheckFailure{
            OpenStep::LogOn, true, withoutSecret(error.message, account.password), {}};
    };
    if (Result<SelectedMailbox> examined = session.select(address.mailbox, true); !examined.ok()) {
        return failed(examined.error());
    }
    const Result<std::vector<ImapMessage>> listed = session.listMessages();
    if (!listed.ok()) {
        return failed(listed.error());
    }
    for (const ImapMessage& message : listed.value()) {
        report.waiting.mails += 1;
        report.waiting.bytes += message.size;
    }
    // Nothing was changed; the LOGOUT only ends the session politely.
    (void)session.logout();
    return report;
}

}  // namespace kervo

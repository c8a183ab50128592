#include "mail/imap/ImapServerCheck.h"

#include "mail/imap/CurlImapConnection.h"
#include "mail/imap/ImapSession.h"
#include "mail/transport/FolderMailbox.h"

namespace kervo {

Result<ServerCheckReport, ServerCheckFailure> checkImapServer(const ServerAddress& address,
                                                              const MailAccount& account,
                                                              const MailTimeouts& timeouts) {
    struct TransferLibrary {
        TransferLibrary() { curl_global_init(CURL_GLOBAL_DEFAULT); }
        ~TransferLibrary() { curl_global_cleanup(); }
    } library;
    CurlImapConnection connection;
    if (Result<void> opened = connection.open(address, account.user, account.password, timeouts);
        !opened.ok()) {
        ServerCheckFailure failure;
        failure.step = connection.failedStep();
        failure.message = withoutSecret(opened.error().message, account.password);
        if (failure.step == OpenStep::Tls) {
            failure.presented = lookAtCertificate(address, timeouts);
        }
        return failure;
    }
    ServerCheckReport report;
    report.connection = connection.facts();
    report.method = connection.logOnMethod();
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

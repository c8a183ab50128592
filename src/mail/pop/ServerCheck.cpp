#include "mail/pop/ServerCheck.h"

#include "mail/pop/CurlPopConnection.h"
#include "mail/pop/PopSession.h"
#include "mail/transport/FolderMailbox.h"

namespace kervo {

Result<ServerCheckReport, ServerCheckFailure> checkServer(const ServerAddress& address,
                                                          const MailAccount& account,
                                                          const MailTimeouts& timeouts) {
    struct TransferLibrary {
        TransferLibrary() { curl_global_init(CURL_GLOBAL_DEFAULT); }
        ~TransferLibrary() { curl_global_cleanup(); }
    } library;
    CurlPopConnection connection;
    // The poll's own log-on: the same methods in the same order, nothing preferred yet.
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
    PopSession session(connection, timeouts, QStringLiteral("mail server ") + address.display());
    const Result<MailboxSize> counted = session.stat();
    if (!counted.ok()) {
        return ServerCheckFailure{
            OpenStep::LogOn, true, withoutSecret(counted.error().message, account.password), {}};
    }
    report.waiting = counted.value();
    // Nothing was marked for deletion, so the QUIT commits nothing; it only ends the session
    // politely. A server that does not answer it has still been shown to work.
    (void)session.quit();
    return report;
}

}  // namespace kervo

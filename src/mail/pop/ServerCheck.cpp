#include "mail/pop/ServerCheck.h"

#include "mail/pop/CurlPopConnection.h"
#include "mail/pop/PopSession.h"
#include "mail/transport/ServerCheckOpening.h"

namespace kervo {

Result<ServerCheckReport, ServerCheckFailure> checkServer(const ServerAddress& address,
                                                          const MailAccount& account,
                                                          const MailTimeouts& timeouts) {
    const TransferLibraryInUse library;
    CurlPopConnection connection;
    // The poll's own log-on: the same methods in the same order, nothing preferred yet.
    Result<ServerCheckReport, ServerCheckFailure> opened =
        openForCheck(connection, address, account, timeouts);
    if (!opened.ok()) {
        return opened;
    }
    ServerCheckReport report = std::move(opened).value();
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

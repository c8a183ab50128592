#pragma once

#include <curl/curl.h>

#include "app/Result.h"
#include "mail/Mailbox.h"
#include "mail/transport/ConnectionFacts.h"
#include "mail/transport/FolderMailbox.h"
#include "mail/transport/ServerCheckReport.h"

namespace kervo {

// The transfer library set up for one connection check, which runs without a mailbox that would
// otherwise hold it.
struct TransferLibraryInUse {
    TransferLibraryInUse() { curl_global_init(CURL_GLOBAL_DEFAULT); }
    ~TransferLibraryInUse() { curl_global_cleanup(); }
    TransferLibraryInUse(const TransferLibraryInUse&) = delete;
    TransferLibraryInUse& operator=(const TransferLibraryInUse&) = delete;
};

// The first half of a connection check, alike for both protocols: connects, secures and logs on
// exactly as a poll does. A refusal says at which step and why, with the certificate the server
// presented when TLS refused it; otherwise the report holds what the connection showed.
template <typename Connection>
Result<ServerCheckReport, ServerCheckFailure> openForCheck(Connection& connection,
                                                           const ServerAddress& address,
                                                           const MailAccount& account,
                                                           const MailTimeouts& timeouts) {
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
    return report;
}

}  // namespace kervo

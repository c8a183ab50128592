#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "mail/pop/PopChannel.h"

namespace kervo {

class MailFolder;
class UidlRecord;

struct FetchOptions {
    PopTimeouts timeouts;
    qint64 maxMailBytes = 512LL * 1024 * 1024;
    // Bytes free where the folder lives; negative when unknown. A mail is not fetched into a
    // disk that cannot hold it.
    std::function<qint64(const QString& folder)> freeSpace;
};

struct FetchOutcome {
    QStringList saved;  // full paths in new/, in server order
    QString error;      // empty when every mail was saved and the deletions were committed
};

// Saves every mail of a logged-on session and deletes each from the server only once it is
// durable in new/ (and its id recorded). Ends with QUIT when the dialogue is still in step, so
// that the deletions of the mails saved so far are committed even after a failure; drops the
// session otherwise, leaving every mail on the server.
FetchOutcome fetchMailbox(PopChannel& channel, const QString& serverName, MailFolder& folder,
                          UidlRecord& record, const FetchOptions& options);

}  // namespace kervo

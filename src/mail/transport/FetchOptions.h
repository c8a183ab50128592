#pragma once

#include <QString>
#include <functional>

#include "mail/mime/MailSize.h"
#include "mail/transport/MailChannel.h"

namespace kervo {

// How a fetch of either protocol goes about it.
struct FetchOptions {
    MailTimeouts timeouts;
    qint64 maxMailBytes = kMaxMailBytes;
    // Bytes free where the folder lives; negative when unknown. A mail is not fetched into a
    // disk that cannot hold it.
    std::function<qint64(const QString& folder)> freeSpace;
    // Told each step that retrieves, records or removes mail, beside the steps of
    // MailFolder::setTrace, in the order taken; for the tests that check that order.
    std::function<void(const QString& step)> trace;
    // Mails fetched and made durable together, at most.
    int batchMails = 256;
};

// A mail a session left on the server because it cannot be fetched now.
struct SkippedMail {
    QString key;     // the same mail gives the same key in the next session, as far as possible
    QString reason;  // for the operator, naming the mail by its number and size
};

}  // namespace kervo

#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "mail/Mailbox.h"
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
    // MailFolder::setTrace, in the order taken; for the tests that check that order. A POP3
    // batch is made durable on a thread of its own while the next one is retrieved: its steps
    // come from that thread, never at the same time as another.
    std::function<void(const QString& step)> trace;
    // Mails fetched and made durable together, at most.
    int batchMails = 256;
    // Bytes of mail fetched and made durable together, at most (a larger mail goes alone). The
    // reading of a batch begins once it is durable, and the reading of the last one only after
    // the fetch: a batch of large mails is kept short so that little of it is left for then.
    qint64 batchBytes = qint64(8) * 1024 * 1024;
    // Told of each batch's saved mails as soon as they are durable in new/.
    SavedMails saved;
};

// Tells options.saved of the last `count` mails of `saved`: a batch just made durable, which the
// reading may begin on while the rest is fetched.
inline void tellSaved(const FetchOptions& options, const QStringList& saved, qsizetype count) {
    if (options.saved && count > 0) {
        options.saved(saved.mid(saved.size() - count));
    }
}

// A mail a session left on the server because it cannot be fetched now.
struct SkippedMail {
    QString key;     // the same mail gives the same key in the next session, as far as possible
    QString reason;  // for the operator, naming the mail by its number and size
};

}  // namespace kervo

#include "mail/pop/ServerMails.h"

#include <QSet>

#include "mail/transport/UidlRecord.h"

namespace kervo {

Result<ServerMails> readServerMails(PopSession& session, UidlRecord& record) {
    Result<std::vector<MailListing>> listing = session.list();
    if (!listing.ok()) {
        return listing.error();
    }
    ServerMails mails{std::move(listing).value(), {}};
    Result<std::map<int, QByteArray>> uids = session.uniqueIds();
    if (!uids.ok()) {
        // UIDL is optional: without it, refetching after a lost QUIT is possible.
        if (!session.usable()) {
            return uids.error();
        }
        return mails;
    }
    mails.uids = std::move(uids).value();
    QSet<QByteArray> onServer;
    QSet<QByteArray> repeated;
    for (auto& [number, raw] : mails.uids) {
        if (const std::optional<QByteArray> uid = sanitisedUid(raw)) {
            raw = *uid;
            (onServer.contains(*uid) ? repeated : onServer).insert(*uid);
        } else {
            raw.clear();
        }
    }
    // An id shared by two mails identifies neither: trusting it would delete the second one
    // unsaved as a mail saved before.
    for (auto& [number, uid] : mails.uids) {
        if (repeated.contains(uid)) {
            uid.clear();
        }
    }
    // Ids the server no longer lists are spent: their mails are gone.
    QSet<QByteArray> gone;
    for (const QByteArray& uid : record.ids()) {
        if (!onServer.contains(uid)) {
            gone.insert(uid);
        }
    }
    if (Result<void> forgotten = record.forget(gone); !forgotten.ok()) {
        return forgotten.error();
    }
    return mails;
}

}  // namespace kervo

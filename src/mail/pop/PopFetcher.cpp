#include "mail/pop/PopFetcher.h"

#include <QDir>
#include <QSet>
#include <map>
#include <memory>
#include <vector>

#include "mail/pop/MailFolder.h"
#include "mail/pop/PopSession.h"
#include "mail/pop/UidlRecord.h"

namespace kervo {

namespace {

// Room kept free beside a mail, for the file system's own needs.
constexpr qint64 kSpareBytes = 1024 * 1024;

QString saveAll(PopSession& session, MailFolder& folder, UidlRecord& record,
                const FetchOptions& options, QStringList& saved) {
    std::vector<MailListing> listing;
    if (QString error = session.list(listing); !error.isEmpty()) {
        return error;
    }

    std::map<int, QByteArray> uids;
    if (QString error = session.uniqueIds(uids); !error.isEmpty()) {
        if (!session.usable()) {
            return error;
        }
        uids.clear();  // UIDL is optional: without it, refetching after a lost QUIT is possible
    } else {
        QSet<QByteArray> onServer;
        QSet<QByteArray> repeated;
        for (auto& [number, raw] : uids) {
            if (const std::optional<QByteArray> uid = sanitisedUid(raw)) {
                raw = *uid;
                (onServer.contains(*uid) ? repeated : onServer).insert(*uid);
            } else {
                raw.clear();
            }
        }
        // An id shared by two mails identifies neither: trusting it would delete the second
        // one unsaved as a mail saved before.
        for (auto& [number, uid] : uids) {
            if (repeated.contains(uid)) {
                uid.clear();
            }
        }
        if (QString recordError = record.retainOnly(onServer); !recordError.isEmpty()) {
            return recordError;
        }
    }

    for (const MailListing& mail : listing) {
        const auto found = uids.find(mail.number);
        const QByteArray uid = found == uids.end() ? QByteArray() : found->second;
        if (!uid.isEmpty() && record.contains(uid)) {
            // Saved by an earlier session whose QUIT never came through.
            if (QString error = session.remove(mail.number); !error.isEmpty()) {
                return error;
            }
            continue;
        }
        if (options.freeSpace) {
            const qint64 free = options.freeSpace(folder.root());
            if (free >= 0 && free < mail.size + kSpareBytes) {
                return QStringLiteral(
                           "mail folder: not enough free disk space in %1 for mail %2 "
                           "(%3 bytes); it stays on the server")
                    .arg(QDir::toNativeSeparators(folder.root()))
                    .arg(mail.number)
                    .arg(mail.size);
            }
        }
        QString error;
        std::unique_ptr<MailDraft> draft = folder.startDraft(error);
        if (!draft) {
            return error;
        }
        if (error = session.retrieve(mail.number, *draft, options.maxMailBytes); !error.isEmpty()) {
            return error;
        }
        QString path;
        if (error = draft->commit(path); !error.isEmpty()) {
            return error;
        }
        saved.append(path);
        if (!uid.isEmpty()) {
            if (error = record.add(uid); !error.isEmpty()) {
                return error;
            }
        }
        if (error = session.remove(mail.number); !error.isEmpty()) {
            return error;
        }
    }
    return {};
}

}  // namespace

FetchOutcome fetchMailbox(PopChannel& channel, const QString& serverName, MailFolder& folder,
                          UidlRecord& record, const FetchOptions& options) {
    PopSession session(channel, options.timeouts, serverName);
    FetchOutcome outcome;
    outcome.error = saveAll(session, folder, record, options, outcome.saved);
    if (session.usable()) {
        QString quitError = session.quit();
        if (outcome.error.isEmpty() && !quitError.isEmpty()) {
            outcome.error = quitError + QStringLiteral(
                                            "; the saved mails may stay on the server and be "
                                            "fetched again");
        }
    }
    return outcome;
}

}  // namespace kervo

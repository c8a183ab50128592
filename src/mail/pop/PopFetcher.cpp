#include "mail/pop/PopFetcher.h"

#include <QDir>
#include <QSet>
#include <map>
#include <memory>

#include "mail/pop/MailFolder.h"
#include "mail/pop/PopSession.h"
#include "mail/pop/UidlRecord.h"

namespace kervo {

namespace {

// Room kept free beside a mail, for the file system's own needs.
constexpr qint64 kSpareBytes = 1024 * 1024;

// The listing and the ids of the mails the server holds now.
struct ServerMails {
    std::vector<MailListing> listing;
    std::map<int, QByteArray> uids;  // only ids that identify one mail
};

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

class SessionFetch {
  public:
    SessionFetch(PopSession& session, MailFolder& folder, UidlRecord& record,
                 const FetchOptions& options, SessionOutcome& outcome)
        : session_(session), folder_(folder), record_(record), options_(options), out_(outcome) {}

    // An Error when the session cannot go on; per-mail trouble goes to out_.skipped.
    Result<void> run() {
        const Result<ServerMails> mails = readServerMails(session_, record_);
        if (!mails.ok()) {
            return mails.error();
        }
        for (const MailListing& mail : mails.value().listing) {
            const auto found = mails.value().uids.find(mail.number);
            const QByteArray uid = found == mails.value().uids.end() ? QByteArray() : found->second;
            if (Result<void> fetched = fetchOne(mail, uid); !fetched.ok()) {
                return fetched;
            }
        }
        return {};
    }

    // Ids whose deletion the server accepted: spent once it confirms QUIT.
    const QSet<QByteArray>& deleted() const { return deleted_; }

  private:
    Result<void> fetchOne(const MailListing& mail, const QByteArray& uid) {
        if (!uid.isEmpty() && record_.contains(uid, mail.size)) {
            // Saved by an earlier session whose QUIT was never confirmed.
            return remove(mail, uid);
        }
        if (mail.size > options_.maxMailBytes) {
            skip(mail, uid,
                 QStringLiteral("it is larger than the limit of %1 bytes")
                     .arg(options_.maxMailBytes));
            return {};
        }
        if (options_.freeSpace) {
            const qint64 free = options_.freeSpace(folder_.root());
            if (free >= 0 && free < mail.size + kSpareBytes) {
                skip(mail, uid,
                     QStringLiteral("there is not enough free disk space in %1")
                         .arg(QDir::toNativeSeparators(folder_.root())));
                return {};
            }
        }
        Result<std::unique_ptr<MailDraft>> draft = folder_.startDraft();
        if (!draft.ok()) {
            skip(mail, uid, draft.error().message);
            return {};
        }
        if (Result<void> retrieved =
                session_.retrieve(mail.number, *draft.value(), options_.maxMailBytes);
            !retrieved.ok()) {
            // Refused, too large after all, or not kept here: the dialogue may still be in step.
            if (!session_.usable()) {
                return retrieved;
            }
            skip(mail, uid, retrieved.error().message);
            return {};
        }
        const Result<QString> path = draft.value()->commit();
        if (!path.ok()) {
            skip(mail, uid, path.error().message);
            return {};
        }
        out_.saved.append(path.value());
        // Without its id on record, a lost QUIT costs a second analysis of this mail, no more.
        if (!uid.isEmpty()) {
            (void)record_.add(uid, mail.size);
        }
        return remove(mail, uid);
    }

    Result<void> remove(const MailListing& mail, const QByteArray& uid) {
        if (options_.trace) {
            options_.trace(QStringLiteral("DELE %1").arg(mail.number));
        }
        if (Result<void> removed = session_.remove(mail.number); !removed.ok()) {
            if (!session_.usable()) {
                return removed;
            }
            // Saved, but the server keeps it; its id stays on record for the next session.
            skip(mail, uid, removed.error().message);
            return {};
        }
        if (!uid.isEmpty()) {
            deleted_.insert(uid);
        }
        return {};
    }

    void skip(const MailListing& mail, const QByteArray& uid, const QString& why) {
        const QString key = uid.isEmpty() ? QStringLiteral("#%1/%2").arg(mail.number).arg(mail.size)
                                          : QString::fromLatin1(uid);
        out_.skipped.push_back({key, QStringLiteral("mail %1 (%2 bytes) stays on the server: %3")
                                         .arg(mail.number)
                                         .arg(mail.size)
                                         .arg(why)});
    }

    PopSession& session_;
    MailFolder& folder_;
    UidlRecord& record_;
    const FetchOptions& options_;
    SessionOutcome& out_;
    QSet<QByteArray> deleted_;
};

}  // namespace

SessionOutcome fetchMailbox(PopChannel& channel, const QString& serverName, MailFolder& folder,
                            UidlRecord& record, const FetchOptions& options) {
    PopSession session(channel, options.timeouts, serverName);
    SessionOutcome outcome;
    SessionFetch fetch(session, folder, record, options, outcome);
    outcome.ended = fetch.run();
    if (!session.usable()) {
        return outcome;
    }
    if (Result<void> quit = session.quit(); !quit.ok()) {
        if (outcome.ended.ok()) {
            outcome.ended = Error{quit.error().message +
                                  QStringLiteral("; the saved mails may stay on the server and be "
                                                 "fetched again")};
        }
        return outcome;
    }
    // The deletions are committed: those ids may now be handed to new mails.
    if (Result<void> forgotten = record.forget(fetch.deleted());
        !forgotten.ok() && outcome.ended.ok()) {
        outcome.ended = forgotten;
    }
    return outcome;
}

}  // namespace kervo

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
struct Mailbox {
    std::vector<MailListing> listing;
    std::map<int, QByteArray> uids;  // only ids that identify one mail
};

QString readMailbox(PopSession& session, UidlRecord& record, Mailbox& box) {
    if (QString error = session.list(box.listing); !error.isEmpty()) {
        return error;
    }
    if (QString error = session.uniqueIds(box.uids); !error.isEmpty()) {
        box.uids.clear();  // UIDL is optional: without it, refetching after a lost QUIT is possible
        return session.usable() ? QString() : error;
    }
    QSet<QByteArray> onServer;
    QSet<QByteArray> repeated;
    for (auto& [number, raw] : box.uids) {
        if (const std::optional<QByteArray> uid = sanitisedUid(raw)) {
            raw = *uid;
            (onServer.contains(*uid) ? repeated : onServer).insert(*uid);
        } else {
            raw.clear();
        }
    }
    // An id shared by two mails identifies neither: trusting it would delete the second one
    // unsaved as a mail saved before.
    for (auto& [number, uid] : box.uids) {
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
    return record.forget(gone);
}

class SessionFetch {
  public:
    SessionFetch(PopSession& session, MailFolder& folder, UidlRecord& record,
                 const FetchOptions& options, SessionOutcome& outcome)
        : session_(session), folder_(folder), record_(record), options_(options), out_(outcome) {}

    // An error text when the session cannot go on; per-mail trouble goes to out_.skipped.
    QString run() {
        Mailbox box;
        if (QString error = readMailbox(session_, record_, box); !error.isEmpty()) {
            return error;
        }
        for (const MailListing& mail : box.listing) {
            const auto found = box.uids.find(mail.number);
            const QByteArray uid = found == box.uids.end() ? QByteArray() : found->second;
            if (QString error = fetchOne(mail, uid); !error.isEmpty()) {
                return error;
            }
        }
        return {};
    }

    // Ids whose deletion the server accepted: spent once it confirms QUIT.
    const QSet<QByteArray>& deleted() const { return deleted_; }

  private:
    QString fetchOne(const MailListing& mail, const QByteArray& uid) {
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
        QString error;
        std::unique_ptr<MailDraft> draft = folder_.startDraft(error);
        if (!draft) {
            skip(mail, uid, error);
            return {};
        }
        if (error = session_.retrieve(mail.number, *draft, options_.maxMailBytes);
            !error.isEmpty()) {
            // Refused, too large after all, or not kept here: the dialogue may still be in step.
            if (!session_.usable()) {
                return error;
            }
            skip(mail, uid, error);
            return {};
        }
        QString path;
        if (error = draft->commit(path); !error.isEmpty()) {
            skip(mail, uid, error);
            return {};
        }
        out_.saved.append(path);
        // Without its id on record, a lost QUIT costs a second analysis of this mail, no more.
        if (!uid.isEmpty()) {
            (void)record_.add(uid, mail.size);
        }
        return remove(mail, uid);
    }

    QString remove(const MailListing& mail, const QByteArray& uid) {
        if (QString error = session_.remove(mail.number); !error.isEmpty()) {
            if (!session_.usable()) {
                return error;
            }
            // Saved, but the server keeps it; its id stays on record for the next session.
            skip(mail, uid, error);
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
    outcome.error = fetch.run();
    if (!session.usable()) {
        return outcome;
    }
    if (QString quitError = session.quit(); !quitError.isEmpty()) {
        if (outcome.error.isEmpty()) {
            outcome.error = quitError + QStringLiteral(
                                            "; the saved mails may stay on the server and be "
                                            "fetched again");
        }
        return outcome;
    }
    // The deletions are committed: those ids may now be handed to new mails.
    if (QString recordError = record.forget(fetch.deleted());
        !recordError.isEmpty() && outcome.error.isEmpty()) {
        outcome.error = recordError;
    }
    return outcome;
}

}  // namespace kervo

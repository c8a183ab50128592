#include "mail/imap/ImapFetcher.h"

#include <QCryptographicHash>
#include <QDir>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <memory>

#include "mail/imap/ImapSession.h"
#include "mail/transport/MailFolder.h"
#include "mail/transport/UidlRecord.h"

namespace kervo {

namespace {

// Room kept free beside a mail, for the file system's own needs.
constexpr qint64 kSpareBytes = 1024 * 1024;

struct BatchMessage {
    ImapMessage message;
    bool savedBefore = false;  // saved by an earlier session, only to be removed
};

class ImapFetch {
  public:
    ImapFetch(ImapSession& session, MailFolder& folder, const QString& mailbox,
              const FetchOptions& options, ImapSessionOutcome& outcome)
        : session_(session),
          folder_(folder),
          mailbox_(mailbox),
          options_(options),
          out_(outcome),
          record_(imapRecordPath(folder, mailbox)) {}

    Result<void> run() {
        if (Result<void> read = session_.readCapabilities(); !read.ok()) {
            return read;
        }
        const Result<SelectedMailbox> selected = session_.select(mailbox_);
        if (!selected.ok()) {
            return selected.error();
        }
        // Without a UIDVALIDITY the UIDs may mean other messages next time: nothing is
        // recognised from a record then, and nothing is recorded.
        validity_ = selected.value().uidValidity;
        prefix_ = QByteArray::number(validity_) + ':';
        if (Result<void> loaded = record_.load(); !loaded.ok()) {
            return loaded;
        }
        Result<std::vector<ImapMessage>> listed = session_.listMessages();
        if (!listed.ok()) {
            return listed.error();
        }
        if (Result<void> tidied = tidyRecord(listed.value()); !tidied.ok()) {
            return tidied;
        }
        std::vector<BatchMessage> batch;
        qint64 batchBytes = 0;
        for (const ImapMessage& message : listed.value()) {
            const bool savedBefore =
                validity_ != 0 && record_.contains(idOf(message.uid), message.size);
            if (!savedBefore && message.deleted) {
                continue;  // another client's to remove; not ours to fetch or expunge
            }
            if (!savedBefore && message.size > options_.maxMailBytes) {
                skip(message, QStringLiteral("it is larger than the limit of %1 bytes")
                                  .arg(options_.maxMailBytes));
                continue;
            }
            batch.push_back({message, savedBefore});
            batchBytes += savedBefore ? 0 : message.size;
            if (std::ssize(batch) >= std::max(1, options_.batchMails) ||
                batchBytes >= options_.batchBytes) {
                if (Result<void> done = runBatch(batch); !done.ok()) {
                    return done;
                }
                batch.clear();
                batchBytes = 0;
            }
        }
        return runBatch(batch);
    }

  private:
    QByteArray idOf(qint64 uid) const { return prefix_ + QByteArray::number(uid); }

    // Drops what the record holds of another UIDVALIDITY (those UIDs name other messages now)
    // and of UIDs the mailbox no longer holds (expunged after all).
    Result<void> tidyRecord(const std::vector<ImapMessage>& listed) {
        QSet<QByteArray> present;
        for (const ImapMessage& message : listed) {
            present.insert(idOf(message.uid));
        }
        QSet<QByteArray> spent;
        for (const QByteArray& id : record_.ids()) {
            if (validity_ == 0 || !present.contains(id)) {
                spent.insert(id);
            }
        }
        return spent.isEmpty() ? Result<void>() : record_.forget(spent);
    }

    Result<void> runBatch(const std::vector<BatchMessage>& batch) {
        std::vector<const BatchMessage*> wanted;
        qint64 free =
            options_.freeSpace && !batch.empty() ? options_.freeSpace(folder_.root()) : -1;
        for (const BatchMessage& entry : batch) {
            if (entry.savedBefore) {
                continue;
            }
            if (free >= 0 && free < entry.message.size + kSpareBytes) {
                skip(entry.message, QStringLiteral("there is not enough free disk space in %1")
                                        .arg(QDir::toNativeSeparators(folder_.root())));
                continue;
            }
            free = free >= 0 ? free - entry.message.size : free;
            wanted.push_back(&entry);
        }
        std::vector<std::unique_ptr<MailDraft>> drafts;
        std::vector<const BatchMessage*> received;
        const Result<void> retrieved = retrieve(wanted, drafts, received, free);
        // What came whole is kept even when the session broke off: it is analysed now.
        Result<QSet<const BatchMessage*>> saved = save(std::move(drafts), received);
        if (!retrieved.ok()) {
            return retrieved;
        }
        if (!saved.ok()) {
            return saved.error();
        }
        std::vector<qint64> ours;
        std::vector<qint64> toMark;
        for (const BatchMessage& entry : batch) {
            if (entry.savedBefore || saved.value().contains(&entry)) {
                ours.push_back(entry.message.uid);
                if (!entry.message.deleted) {
                    toMark.push_back(entry.message.uid);
                }
            }
        }
        return remove(ours, toMark);
    }

    Result<void> retrieve(const std::vector<const BatchMessage*>& wanted,
                          std::vector<std::unique_ptr<MailDraft>>& drafts,
                          std::vector<const BatchMessage*>& received, qint64 free) {
        for (const BatchMessage* entry : wanted) {
            const qint64 uid = entry->message.uid;
            step(QStringLiteral("FETCH %1").arg(uid));
            Result<std::unique_ptr<MailDraft>> draft = folder_.startDraft();
            // Asked before a byte of the body is read: the size the server now gives may not
            // be the one it listed.
            const BodyTarget target = [&](qint64 size) -> Result<MailSink*> {
                if (!draft.ok()) {
                    return draft.error();
                }
                if (size > options_.maxMailBytes) {
                    return Error{QStringLiteral("it is larger than the limit of %1 bytes")
                                     .arg(options_.maxMailBytes)};
                }
                if (free >= 0 && free < size) {
                    return Error{QStringLiteral("there is not enough free disk space in %1")
                                     .arg(QDir::toNativeSeparators(folder_.root()))};
                }
                return draft.value().get();
            };
            Result<void> got = session_.fetchMessage(uid, target, 2 * options_.maxMailBytes);
            if (got.ok()) {
                got = draft.value()->finish();
            }
            if (!got.ok()) {
                if (!session_.usable()) {
                    return got;
                }
                skip(entry->message, got.error().message);
                continue;
            }
            step(QStringLiteral("received %1").arg(uid));
            drafts.push_back(std::move(draft).value());
            received.push_back(entry);
        }
        return {};
    }

    Result<QSet<const BatchMessage*>> save(std::vector<std::unique_ptr<MailDraft>> drafts,
                                           const std::vector<const BatchMessage*>& received) {
        const std::vector<Result<QString>> paths = folder_.commit(std::move(drafts));
        QSet<const BatchMessage*> saved;
        QHash<QByteArray, qint64> ids;
        for (std::size_t i = 0; i < paths.size(); ++i) {
            const BatchMessage& entry = *received[i];
            if (!paths[i].ok()) {
                skip(entry.message, paths[i].error().message);
                continue;
            }
            out_.saved.append(paths[i].value());
            saved.insert(&entry);
            ids.insert(idOf(entry.message.uid), entry.message.size);
        }
        tellSaved(options_, out_.saved, saved.size());
        if (validity_ == 0 || ids.isEmpty()) {
            return saved;
        }
        step(QStringLiteral("record uids"));
        // Marked without a durable record, a message saved here would be taken for another
        // client's after a kill: never expunged by us, and without UIDPLUS blocking every
        // expunge. Unmarked, it is at worst fetched and analysed again.
        if (Result<void> recorded = record_.add(ids); !recorded.ok()) {
            return recorded.error();
        }
        return saved;
    }

    Result<void> remove(const std::vector<qint64>& ours, const std::vector<qint64>& toMark) {
        if (ours.empty()) {
            return {};
        }
        if (!toMark.empty()) {
            step(QStringLiteral("STORE %1").arg(QString::fromLatin1(uidSets(toMark).join(' '))));
            if (Result<void> marked = session_.markDeleted(toMark); !marked.ok()) {
                return marked;
            }
        }
        // Within the session a UID names one message, with or without a UIDVALIDITY.
        for (const qint64 uid : ours) {
            markedHere_.insert(uid);
        }
        QSet<QByteArray> spent;
        if (session_.offers("UIDPLUS")) {
            step(QStringLiteral("EXPUNGE %1").arg(QString::fromLatin1(uidSets(ours).join(' '))));
            if (Result<void> expunged = session_.expunge(ours); !expunged.ok()) {
                return expunged;
            }
            for (const qint64 uid : ours) {
                spent.insert(idOf(uid));
            }
        } else {
            const Result<std::vector<qint64>> marked = session_.deletedMessages();
            if (!marked.ok()) {
                return marked.error();
            }
            const QList<QByteArray> recorded = record_.ids();
            const QSet<QByteArray> mine(recorded.begin(), recorded.end());
            for (const qint64 uid : marked.value()) {
                if (!mine.contains(idOf(uid)) && !markedHere_.contains(uid)) {
                    out_.waitingForOthers = true;  // EXPUNGE would take another's message too
                    return {};
                }
                spent.insert(idOf(uid));
            }
            step(QStringLiteral("EXPUNGE"));
            if (Result<void> expunged = session_.expungeAllMarked(); !expunged.ok()) {
                return expunged;
            }
        }
        return record_.forget(spent);
    }

    void step(const QString& name) const {
        if (options_.trace) {
            options_.trace(name);
        }
    }

    void skip(const ImapMessage& message, const QString& why) {
        out_.skipped.push_back({QStringLiteral("%1:%2").arg(validity_).arg(message.uid),
                                QStringLiteral("message UID %1 (%2 bytes) stays on the server: %3")
                                    .arg(message.uid)
                                    .arg(message.size)
                                    .arg(why)});
    }

    ImapSession& session_;
    MailFolder& folder_;
    const QString& mailbox_;
    const FetchOptions& options_;
    ImapSessionOutcome& out_;
    UidlRecord record_;
    qint64 validity_ = 0;
    QByteArray prefix_;
    QSet<qint64> markedHere_;  // saved and marked by this session
};

}  // namespace

QString imapRecordPath(const MailFolder& folder, const QString& mailbox) {
    // One record per mailbox: two mailboxes of one server may share a UIDVALIDITY.
    const QByteArray name =
        QCryptographicHash::hash(mailbox.toUtf8(), QCryptographicHash::Sha256).toHex().left(16);
    return folder.metaDir() + QStringLiteral("/imap-uids-") + QString::fromLatin1(name);
}

ImapSessionOutcome fetchImapMailbox(MailChannel& channel, const QString& serverName,
                                    MailFolder& folder, const QString& mailbox,
                                    const FetchOptions& options) {
    ImapSession session(channel, options.timeouts, serverName);
    ImapSessionOutcome outcome;
    outcome.ended = ImapFetch(session, folder, mailbox, options, outcome).run();
    if (session.usable()) {
        (void)session.logout();  // everything is committed already; this only ends politely
    }
    return outcome;
}

}  // namespace kervo

#include "mail/pop/PopFetcher.h"

#include <QDir>
#include <QHash>
#include <QSet>
#include <algorithm>
#include <future>
#include <memory>
#include <mutex>
#include <utility>

#include "mail/pop/PopSession.h"
#include "mail/pop/ServerMails.h"
#include "mail/transport/MailFolder.h"
#include "mail/transport/UidlRecord.h"

namespace kervo {

namespace {

// Room kept free beside a mail, for the file system's own needs.
constexpr qint64 kSpareBytes = 1024 * 1024;

// A mail of the batch being fetched. One saved by an earlier session whose QUIT was never
// confirmed is only deleted.
struct BatchMail {
    MailListing listing;
    QByteArray uid;
    bool savedBefore = false;
};

// Where a mail goes whose draft could not be started while its RETR is already in flight: the
// answer is read and dropped, so that the dialogue stays in step.
class RefusingSink final : public MailSink {
  public:
    explicit RefusingSink(Error why) : why_(std::move(why)) {}
    Result<void> write(const char* /*data*/, qsizetype /*size*/) override { return why_; }

  private:
    Error why_;
};

class SessionFetch {
  public:
    SessionFetch(PopSession& session, MailFolder& folder, UidlRecord& record,
                 const FetchOptions& options, SessionOutcome& outcome)
        : session_(session), folder_(folder), record_(record), options_(options), out_(outcome) {}

    // An Error when the session cannot go on; per-mail trouble goes to out_.skipped.
    Result<void> run() {
        const Result<bool> pipelining = session_.offersPipelining();
        if (!pipelining.ok()) {
            return pipelining.error();
        }
        out_.pipelined = pipelining.value();
        window_ = out_.pipelined ? kWindow : 1;
        const Result<ServerMails> mails = readServerMails(session_, record_);
        if (!mails.ok()) {
            return mails.error();
        }
        // Each mail's id, and whether the record holds it, are settled before the first batch:
        // from then on the record is written beside the fetch.
        std::vector<BatchMail> found;
        found.reserve(mails.value().listing.size());
        for (const MailListing& mail : mails.value().listing) {
            const auto known = mails.value().uids.find(mail.number);
            QByteArray uid = known == mails.value().uids.end() ? QByteArray() : known->second;
            const bool savedBefore = !uid.isEmpty() && record_.contains(uid, mail.size);
            found.push_back({mail, std::move(uid), savedBefore});
        }
        std::vector<BatchMail> batch;
        qint64 batchBytes = 0;
        for (BatchMail& mail : found) {
            if (!mail.savedBefore && mail.listing.size > options_.maxMailBytes) {
                skip(mail.listing, mail.uid,
                     QStringLiteral("it is larger than the limit of %1 bytes")
                         .arg(options_.maxMailBytes));
                continue;
            }
            batchBytes += mail.savedBefore ? 0 : mail.listing.size;
            batch.push_back(std::move(mail));
            if (std::ssize(batch) >= std::max(1, options_.batchMails) ||
                batchBytes >= options_.batchBytes) {
                if (Result<void> done = runBatch(std::exchange(batch, {})); !done.ok()) {
                    return done;
                }
                batchBytes = 0;
            }
        }
        if (Result<void> done = runBatch(std::move(batch)); !done.ok()) {
            return done;
        }
        return settle(true);
    }

    // Ids whose deletion the server accepted: spent once it confirms QUIT.
    const QSet<QByteArray>& deleted() const { return deleted_; }

  private:
    // Commands in flight at once where the server takes pipelined commands.
    static constexpr std::ptrdiff_t kWindow = 64;

    // A batch whose mails are being made durable beside the fetch of the next one.
    struct SavingBatch {
        std::vector<BatchMail> mails;
        std::vector<const BatchMail*> received;  // in mails, in the order of their drafts
        std::future<std::vector<Result<QString>>> paths;
    };

    // Fetches the batch while the one before it is made durable on a thread of its own, so that
    // the network and the disk work at once; then deletes the one before from the server.
    // Nothing is left saving when this returns an Error.
    Result<void> runBatch(std::vector<BatchMail> batch) {
        std::vector<const BatchMail*> wanted;
        // The disk is asked once per batch; each mail then takes its share of what it said.
        qint64 free =
            options_.freeSpace && !batch.empty() ? options_.freeSpace(folder_.root()) : -1;
        for (const BatchMail& mail : batch) {
            if (mail.savedBefore) {
                continue;
            }
            if (free >= 0 && free < mail.listing.size + kSpareBytes) {
                skip(mail.listing, mail.uid,
                     QStringLiteral("there is not enough free disk space in %1")
                         .arg(QDir::toNativeSeparators(folder_.root())));
                continue;
            }
            free = free >= 0 ? free - mail.listing.size : free;
            wanted.push_back(&mail);
        }
        std::vector<std::unique_ptr<MailDraft>> drafts;
        std::vector<const BatchMail*> received;
        const Result<void> retrieved = retrieve(wanted, drafts, received);
        const Result<void> settled = settle(retrieved.ok());
        // The vector's buffer moves with it: the pointers into it stay good.
        startSaving(std::move(batch), std::move(received), std::move(drafts));
        if (!retrieved.ok() || !settled.ok()) {
            // What came whole is kept even when the session broke off: it is analysed now,
            // and stays on the server.
            (void)settle(false);
            return retrieved.ok() ? settled : retrieved;
        }
        return {};
    }

    void startSaving(std::vector<BatchMail> mails, std::vector<const BatchMail*> received,
                     std::vector<std::unique_ptr<MailDraft>> drafts) {
        auto batch = std::make_unique<SavingBatch>();
        batch->mails = std::move(mails);
        batch->received = std::move(received);
        // A batch with nothing to save, as the last one often is, needs no thread; and where no
        // thread can be had, the batch is saved on this one when it settles.
        const auto launch =
            drafts.empty() ? std::launch::deferred : std::launch::async | std::launch::deferred;
        batch->paths = std::async(
            launch, [this, received = batch->received, drafts = std::move(drafts)]() mutable {
                std::vector<Result<QString>> paths =
                    folder_.commit(std::move(drafts), [this](const QString& name) { step(name); });
                recordIds(paths, received);
                return paths;
            });
        saving_ = std::move(batch);
    }

    // Puts the ids of the mails just made durable on record, at once: a fetch that ends before
    // their deletion then deletes them in its next session without saving them again. Without
    // their ids on record, a lost QUIT costs a second analysis of these mails, no more.
    void recordIds(const std::vector<Result<QString>>& paths,
                   const std::vector<const BatchMail*>& received) {
        QHash<QByteArray, qint64> ids;
        for (std::size_t i = 0; i < paths.size(); ++i) {
            if (paths[i].ok() && !received[i]->uid.isEmpty()) {
                ids.insert(received[i]->uid, received[i]->listing.size);
            }
        }
        if (!ids.isEmpty()) {
            step(QStringLiteral("record ids"));
            (void)record_.add(ids);
        }
    }

    // Waits until the batch being saved is durable and on record, tells its saved mails, and,
    // with `remove`, deletes them and the ones saved before from the server.
    Result<void> settle(bool remove) {
        if (!saving_) {
            return {};
        }
        const std::unique_ptr<SavingBatch> batch = std::move(saving_);
        const std::vector<Result<QString>> paths = batch->paths.get();
        const QSet<const BatchMail*> saved = save(paths, batch->received);
        if (!remove) {
            return {};
        }
        std::vector<const BatchMail*> removable;
        for (const BatchMail& mail : batch->mails) {
            if (mail.savedBefore || saved.contains(&mail)) {
                removable.push_back(&mail);
            }
        }
        return this->remove(removable);
    }

    Result<void> retrieve(const std::vector<const BatchMail*>& wanted,
                          std::vector<std::unique_ptr<MailDraft>>& drafts,
                          std::vector<const BatchMail*>& received) {
        std::ptrdiff_t requested = 0;
        for (std::ptrdiff_t i = 0; i < std::ssize(wanted); ++i) {
            topUp(i, std::ssize(wanted), requested, [&](std::ptrdiff_t next) {
                step(QStringLiteral("RETR %1").arg(wanted[next]->listing.number));
                session_.requestMail(wanted[next]->listing.number);
            });
            const BatchMail& mail = *wanted[i];
            Result<std::unique_ptr<MailDraft>> draft = folder_.startDraft();
            RefusingSink refused(draft.ok() ? Error{} : draft.error());
            MailSink& sink = draft.ok() ? static_cast<MailSink&>(*draft.value()) : refused;
            Result<void> got =
                session_.receiveMail(mail.listing.number, sink, options_.maxMailBytes);
            if (got.ok()) {
                // A mail with no content never reached the refusing sink.
                got = draft.ok() ? draft.value()->finish() : Result<void>(draft.error());
            }
            if (!got.ok()) {
                // Refused, too large after all, or not kept here: the dialogue may still be in
                // step.
                if (!session_.usable()) {
                    return got;
                }
                skip(mail.listing, mail.uid, got.error().message);
                continue;
            }
            step(QStringLiteral("received %1").arg(mail.listing.number));
            drafts.push_back(std::move(draft).value());
            received.push_back(&mail);
        }
        return {};
    }

    QSet<const BatchMail*> save(const std::vector<Result<QString>>& paths,
                                const std::vector<const BatchMail*>& received) {
        QSet<const BatchMail*> saved;
        for (std::size_t i = 0; i < paths.size(); ++i) {
            const BatchMail& mail = *received[i];
            if (!paths[i].ok()) {
                skip(mail.listing, mail.uid, paths[i].error().message);
                continue;
            }
            out_.saved.append(paths[i].value());
            saved.insert(&mail);
        }
        tellSaved(options_, out_.saved, saved.size());
        return saved;
    }

    Result<void> remove(const std::vector<const BatchMail*>& removable) {
        std::ptrdiff_t requested = 0;
        for (std::ptrdiff_t i = 0; i < std::ssize(removable); ++i) {
            topUp(i, std::ssize(removable), requested, [&](std::ptrdiff_t next) {
                const int number = removable[next]->listing.number;
                step(QStringLiteral("DELE %1").arg(number));
                session_.requestRemoval(number);
            });
            const BatchMail& mail = *removable[i];
            if (Result<void> removed = session_.receiveRemoval(mail.listing.number);
                !removed.ok()) {
                if (!session_.usable()) {
                    return removed;
                }
                // Saved, but the server keeps it; its id stays on record for the next session.
                skip(mail.listing, mail.uid, removed.error().message);
                continue;
            }
            step(QStringLiteral("deleted %1").arg(mail.listing.number));
            if (!mail.uid.isEmpty()) {
                deleted_.insert(mail.uid);
            }
        }
        return {};
    }

    // Refills the window of commands in flight only once half of it has been answered, so
    // that commands leave in strides of one write each. Topping up after every answer cost a
    // write, and a wake-up of the server, per command.
    template <typename Request>
    void topUp(std::ptrdiff_t answered, std::ptrdiff_t total, std::ptrdiff_t& requested,
               const Request& request) const {
        if (requested - answered > window_ / 2) {
            return;
        }
        for (; requested < total && requested < answered + window_; ++requested) {
            request(requested);
        }
    }

    // Called from the fetching and the saving thread, one call at a time.
    void step(const QString& name) const {
        if (options_.trace) {
            const std::lock_guard lock(traceLock_);
            options_.trace(name);
        }
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
    std::ptrdiff_t window_ = 1;
    QSet<QByteArray> deleted_;
    mutable std::mutex traceLock_;
    std::unique_ptr<SavingBatch> saving_;
};

}  // namespace

SessionOutcome fetchMailbox(MailChannel& channel, const QString& serverName, MailFolder& folder,
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

#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

#include "app/Result.h"
#include "mail/transport/MailChannel.h"

namespace kervo {

class MailFolder;

// One mail being written into tmp/. Nothing of it is visible to the analysis until
// MailFolder::commit has made it durable and moved it into new/; dropped uncommitted, it leaves
// no trace.
class MailDraft final : public MailSink {
  public:
    ~MailDraft() override;
    MailDraft(const MailDraft&) = delete;
    MailDraft& operator=(const MailDraft&) = delete;

    Result<void> write(const char* data, qsizetype size) override;
    // Writes out what is buffered and closes the file, which is then whole in tmp/ but not yet
    // durable. An Error, with the draft removed, when the mail could not be kept whole.
    Result<void> finish();

  private:
    friend class MailFolder;
    MailDraft(int fd, QString tmpPath, QString name);
    Result<void> flush();
    void discard();

    int fd_ = -1;
    QString tmpPath_;  // empty once the file was moved away or removed
    QString name_;
    QByteArray pending_;
    qint64 written_ = 0;
    Result<void> kept_;  // the first write that failed; nothing is kept after it
};

// The mail folder: tmp/ holds mails being fetched, new/ mails saved but not yet analysed,
// cur/ analysed ones waiting for the purge, meta/ the fetch's own records. File names are made
// here and never come from the server.
class MailFolder {
  public:
    explicit MailFolder(QString root);
    ~MailFolder();
    MailFolder(const MailFolder&) = delete;
    MailFolder& operator=(const MailFolder&) = delete;

    // Creates the folder and its parts (owner-only) when missing, and takes back to owner-only
    // those that exist with wider rights; the Error names the path that cannot be created or
    // written.
    Result<void> prepare() const;
    // Mails saved but not yet analysed, oldest first.
    QStringList pending() const;
    // Drafts left behind by a fetch that never finished. Only while no fetch runs.
    void removeDrafts() const;
    Result<std::unique_ptr<MailDraft>> startDraft();
    // Makes finished drafts durable together and moves them into new/: one sync of the disk for
    // all their contents, a rename each, one sync of new/ for all their names. For each draft,
    // in the order given, its final path or why it was not kept (its file then removed).
    std::vector<Result<QString>> commit(std::vector<std::unique_ptr<MailDraft>> drafts);
    // The same, telling its steps to `trace` instead. May run on another thread than the one
    // starting drafts, one commit at a time.
    std::vector<Result<QString>> commit(std::vector<std::unique_ptr<MailDraft>> drafts,
                                        const std::function<void(const QString& step)>& trace);
    // Told each step that makes saved mails durable ("sync drafts", "move into new/" for each,
    // "sync new/"), in the order taken; for the tests that check that order.
    void setTrace(std::function<void(const QString& step)> trace) { trace_ = std::move(trace); }

    // Moves a mail of new/ into cur/. Paths outside new/ are left alone.
    bool markAnalysed(const QString& path) const;
    // Deletes the analysed mails and stray files at the top of the folder; tmp/ and new/ stay.
    int purgeAnalysed() const;
    // Where an analysed mail is kept until the purge.
    QString analysedPath(const QString& path) const;

    QString root() const { return root_; }
    QString metaDir() const;

  private:
    QString part(const char* name) const;
    QString newName();

    QString root_;
    quint64 sequence_ = 0;
    // tmp/, open from the first draft on: the sync of the drafts reports every write-back error
    // on their disk since then, including one that came before the sync was asked for.
    int draftsDir_ = -1;
    std::function<void(const QString&)> trace_;
};

}  // namespace kervo

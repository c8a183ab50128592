#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <optional>

#include "app/Result.h"

namespace kervo {

// The unique ids of the mails this folder has saved in sessions whose QUIT the server has not
// confirmed: their deletions may not have been committed, so the server may still hold them.
// The next session recognises such a mail here and deletes it without saving (and analysing)
// it a second time. Once a QUIT is confirmed, the ids that session deleted are spent: a server
// that numbers its ids, or whose ids were rebuilt, may give the same id to a new mail, which
// must then be fetched like any other. Each id is kept with the mail's size, so that a reused
// id of a mail of another size is not trusted either.
//
// On disk, one "id size" line per mail, e.g. "00000001abcdef 4096".
class UidlRecord {
  public:
    explicit UidlRecord(QString path);

    // An Error when the record exists but cannot be read. A missing record is empty. Lines
    // without a size come from an older version that kept spent ids and are not trusted.
    Result<void> load();
    // Whether the mail with this id and size was saved by a session whose QUIT was not confirmed.
    bool contains(const QByteArray& uid, qint64 size) const;
    qsizetype size() const { return ids_.size(); }
    QList<QByteArray> ids() const { return ids_.keys(); }
    // Adds the ids of saved mails, each with its size, durably and together (one sync), before
    // their DELEs are sent.
    Result<void> add(const QHash<QByteArray, qint64>& saved);
    // Forgets the given ids (the server no longer lists them, or their deletion was committed
    // by a confirmed QUIT), rewriting the record atomically.
    Result<void> forget(const QSet<QByteArray>& spent);

  private:
    Result<void> rewrite();

    QString path_;
    QHash<QByteArray, qint64> ids_;
};

// A server's unique id as it may be recorded: 1 to 70 printable ASCII characters other than
// space, as RFC 1939 allows. Anything else is not trusted to identify a mail.
std::optional<QByteArray> sanitisedUid(const QByteArray& raw);

}  // namespace kervo

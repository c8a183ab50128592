#pragma once

#include <QByteArray>
#include <QSet>
#include <QString>
#include <optional>

namespace kervo {

// The unique ids of the mails this folder has saved while the server may still hold them. A
// session that ends without QUIT leaves its deleted mails on the server; the next session
// recognises them here and deletes them without saving (and analysing) them a second time.
class UidlRecord {
  public:
    explicit UidlRecord(QString path);

    // An error text when the record exists but cannot be read. A missing record is empty.
    QString load();
    bool contains(const QByteArray& uid) const { return ids_.contains(uid); }
    qsizetype size() const { return ids_.size(); }
    // Forgets the ids the server no longer holds, rewriting the record atomically.
    QString retainOnly(const QSet<QByteArray>& onServer);
    // Adds one id durably.
    QString add(const QByteArray& uid);

  private:
    QString path_;
    QSet<QByteArray> ids_;
};

// A server's unique id as it may be recorded: 1 to 70 printable ASCII characters other than
// space, as RFC 1939 allows. Anything else is not trusted to identify a mail.
std::optional<QByteArray> sanitisedUid(const QByteArray& raw);

}  // namespace kervo

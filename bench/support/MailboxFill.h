#pragma once

#include <QString>
#include <QStringList>

namespace kervo::bench {

// The prepared reports a benchmark puts into the mail server's maildir: files named the way the
// server's own delivery names them, so that it need not read a mail to learn its size.
class MailboxFill {
  public:
    MailboxFill(QString templateDir, QString maildir);

    // Lists the prepared reports; an error text when there are none.
    QString load();
    qsizetype available() const { return templates_.size(); }

    // Puts count reports into new/, taking the prepared ones in turn from where the last call
    // stopped. Hard links when the folders share a disk, copies otherwise; the files keep the
    // prepared ones' owner, which is the server's. An error text on the first failure.
    QString deposit(qsizetype count);

  private:
    QString templateDir_;
    QString maildir_;
    QStringList templates_;
    qsizetype next_ = 0;
    quint64 sequence_ = 0;
};

// The name a deposited copy gets: unique per sequence number, keeping the size marks.
QString depositName(quint64 sequence, const QString& templateName);

}  // namespace kervo::bench

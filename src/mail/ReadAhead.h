#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>

#include "mail/Mailbox.h"
#include "settings/RuleBook.h"

namespace kervo {

// The mails of one poll, read on the worker thread ahead of their analysis on the interface
// thread, in the order they are to be analysed. Bounded by count and by the size of their texts,
// so that a poll of ten thousand mails never holds them all: the reading waits for room. A mail
// larger than the whole allowance still passes, once everything before it has been taken.
class ReadAhead {
  public:
    struct Mail {
        QString element;
        Result<ReportText> read;
        ReportFindings findings;
    };

    ReadAhead(qsizetype maxMails, qint64 maxBytes) : maxMails_(maxMails), maxBytes_(maxBytes) {}

    // Reading side. Waits for room; false when the queue was stopped (the mail is dropped).
    // wasEmpty says whether the taking side may be waiting for this mail.
    bool put(Mail mail, bool& wasEmpty);
    // Reading side: no more mails come this poll.
    void close();

    // Taking side: the next mail, if one has been read. Never waits for the reading side, which
    // runs at a lower priority and may be held off the processor while it holds the queue: the
    // window would wait with it. `busy` then says to look again in a moment.
    struct Taken {
        std::optional<Mail> mail;
        bool busy = false;
        bool drained = false;  // every mail of the poll has been taken
    };
    Taken take();

    // A new poll starts on an empty queue.
    void reopen();
    // The queue goes away: every wait ends, every later put fails.
    void stop();

  private:
    static qint64 bytesOf(const Mail& mail);

    const qsizetype maxMails_;
    const qint64 maxBytes_;
    mutable std::mutex mutex_;
    std::condition_variable room_;
    std::deque<Mail> mails_;
    qint64 bytes_ = 0;
    bool closed_ = false;
    bool stopped_ = false;
};

// The mails a fetch has told as saved, in order, waiting for the reading thread. Once the fetch
// is over, whatever its outcome lists beyond what it told follows, so that a mailbox that tells
// nothing early is read all the same, and nothing twice.
class SavedMailQueue {
  public:
    // Fetching side: mails saved safely.
    void add(const QStringList& files);
    // Fetching side: the fetch is over and listed these.
    void finish(const QStringList& listed);
    // Reading side: the next mail to read; none once the fetch is over and all are taken.
    std::optional<QString> next();

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<QString> waiting_;
    QSet<QString> told_;
    bool finished_ = false;
};

}  // namespace kervo

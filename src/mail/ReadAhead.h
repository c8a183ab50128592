#pragma once

#include <QSet>
#include <QString>
#include <QStringList>
#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <vector>

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
        Result<ReportText> read{Error{}};
        ReportFindings findings;
    };

    ReadAhead(qsizetype maxMails, qint64 maxBytes)
        : maxMails_(std::max<qsizetype>(maxMails, 1)),
          maxBytes_(maxBytes),
          slots_(static_cast<size_t>(maxMails_)) {}

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
    // Taking side: a mail done with. Its texts are let go on the reading thread, whose memory
    // they are: freed here, each could wait for that thread's allocator while the thread is held
    // off the processor, and the window with it.
    void giveBack(Mail mail);

    // A new poll starts on an empty queue.
    void reopen();
    // The queue goes away: every wait ends, every later put fails.
    void stop();

  private:
    static qint64 bytesOf(const Mail& mail);
    // Under the lock: the mails given back so far, to be let go after it, by the reading side
    // or, once the reading is over, by the taking side.
    std::vector<Mail> collectSpent();

    const qsizetype maxMails_;
    const qint64 maxBytes_;
    mutable std::mutex mutex_;
    std::condition_variable room_;
    // A ring made once: a queue that freed its nodes as they were taken would free the reading
    // thread's memory on the window's.
    std::vector<Mail> slots_;
    qsizetype first_ = 0;
    qsizetype count_ = 0;
    qint64 bytes_ = 0;
    bool closed_ = false;
    bool stopped_ = false;
    std::vector<Mail> spent_;      // handed over, waiting for the reading thread
    std::vector<Mail> givenBack_;  // the taking side's own, until it next holds the lock
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

#pragma once

#include <QString>
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

    // Taking side: the next mail, if one has been read.
    std::optional<Mail> take();
    // Taking side: every mail of the poll has been taken.
    bool drained() const;

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

}  // namespace kervo

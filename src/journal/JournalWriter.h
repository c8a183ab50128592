#pragma once

#include <QDateTime>
#include <QString>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "app/Result.h"
#include "journal/JournalRecords.h"

namespace kervo {

class JournalStore;

// The journal's writes, on a thread of their own with a connection of their own, so that the
// window never waits for the disk: what is queued is written in order, in one transaction per
// batch. The writer lets a batch of records fill for a moment before it writes (at once when
// someone waits for the writing, for a reset, or at the end), so that a big poll costs a few
// commits, not one per report. An
// action queued behind a record runs once that record is written (or its writing has failed): that
// is how a mail is marked analysed only after its report is in the journal.
class JournalWriter {
  public:
    // Told on the writer's thread: a write failed, the journal writes again, a damaged file was
    // moved aside (its new path) and a new one begun.
    struct Reports {
        std::function<void(const Error&)> failed;
        std::function<void()> recovered;
        std::function<void(const QString&)> movedAside;
    };

    JournalWriter(QString path, Reports reports);
    // Writes what is queued, then ends the thread.
    ~JournalWriter();
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;

    // `now` is the time of the interface thread's clock: the writer's retries follow it.
    void record(ReportRecord report, const QDateTime& now);
    void acknowledgeOpen(const QDateTime& at, const QString& by);
    // The action goes by the time of the records before it: the interface thread's clock is
    // not read twice for every mail.
    void afterWritten(std::function<void()> action);
    // Nothing queued or being written.
    bool isIdle() const;
    // Waits at most `ms` until everything queued so far is written; whether it was.
    bool waitUntilIdle(int ms) const;

  private:
    struct Item {
        enum class Kind { Record, Acknowledge, Action } kind;
        ReportRecord report;
        QDateTime at;
        QString by;
        std::function<void()> action;
    };

    void push(Item item);
    void run();
    void write(JournalStore& store, std::deque<Item>& batch);
    bool ensureOpen(JournalStore& store, const QDateTime& now);
    Result<void> writeAll(JournalStore& store, const std::deque<Item>& batch);

    const QString path_;
    const Reports reports_;
    mutable std::mutex mutex_;
    // The writer waits on work_, the callers of waitUntilIdle on idle_. Each is told only what
    // it waits for: a record queued while the writer gathers a batch does not wake it, for a
    // wake per record cost the writer more processor time than the record, and the interface
    // thread, whose core the woken writer took, a preemption per record.
    mutable std::condition_variable work_;
    mutable std::condition_variable idle_;
    std::deque<Item> queue_;
    size_t writing_ = 0;
    mutable int waiting_ = 0;      // callers of waitUntilIdle
    size_t acknowledgements_ = 0;  // queued, not yet taken into a batch
    bool stopping_ = false;
    // The writer's own: when it last tried to open the file in vain, and whether it is in trouble.
    QDateTime lastOpenTry_;
    bool failing_ = false;
    std::thread thread_;
};

}  // namespace kervo

#include "journal/JournalWriter.h"

#include <pthread.h>

#include <algorithm>
#include <chrono>

#include "journal/JournalStore.h"

namespace kervo {

namespace {

// After a failure the file is tried again this often, not at every batch: a locked file costs
// each try its wait.
constexpr qint64 kRetrySecs = 30;
// Items (records, and the marks queued behind them) written in one transaction at most.
constexpr size_t kMostPerBatch = 1024;
// How long the writer waits for a batch to fill before it writes what has come. One commit
// costs about as much as a hundred records: written as they came, one or two at a time, the
// records of a 10,000-mail poll took four times the processor time they take in full batches,
// time the poll's reading and analysis then waited for on a machine of two cores.
constexpr auto kGatherTime = std::chrono::milliseconds(200);

}  // namespace

JournalWriter::JournalWriter(QString path, Reports reports)
    : path_(std::move(path)), reports_(std::move(reports)), thread_(&JournalWriter::run, this) {}

JournalWriter::~JournalWriter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    work_.notify_one();
    thread_.join();
}

void JournalWriter::push(Item item) {
    bool wake = false;
    {
        std::lock_guard lock(mutex_);
        // The writer waits for a first item, or gathers until the batch is full or someone
        // waits: anything between leaves it asleep.
        wake = queue_.empty() || queue_.size() + 1 >= kMostPerBatch ||
               item.kind == Item::Kind::Acknowledge;
        if (item.kind == Item::Kind::Acknowledge) {
            ++acknowledgements_;
        }
        queue_.push_back(std::move(item));
    }
    if (wake) {
        work_.notify_one();
    }
}

// Times are turned into UTC here, on the caller's thread, so that the writer never asks the
// time zone: its lock is taken for every report the window shows, and the window would wait
// for it whenever the writer, holding it, was held off the processor.
void JournalWriter::record(ReportRecord report, const QDateTime& now) {
    report.received = report.received.toUTC();
    push({Item::Kind::Record, std::move(report), now.toUTC(), {}, {}});
}

void JournalWriter::acknowledgeOpen(const QDateTime& at, const QString& by) {
    push({Item::Kind::Acknowledge, {}, at.toUTC(), by, {}});
}

void JournalWriter::afterWritten(std::function<void()> action) {
    push({Item::Kind::Action, {}, {}, {}, std::move(action)});
}

bool JournalWriter::isIdle() const {
    std::lock_guard lock(mutex_);
    return queue_.empty() && writing_ == 0;
}

bool JournalWriter::waitUntilIdle(int ms) const {
    std::unique_lock lock(mutex_);
    // Someone waiting: the writer writes what has come without gathering more.
    ++waiting_;
    work_.notify_one();
    const bool idle = idle_.wait_for(lock, std::chrono::milliseconds(ms),
                                     [this] { return queue_.empty() && writing_ == 0; });
    --waiting_;
    return idle;
}

void JournalWriter::run() {
    // Named, so that a per-thread view of the processor (top -H, the benchmarks) tells it apart.
    ::pthread_setname_np(::pthread_self(), "journal-writer");
    JournalStore store(path_);
    for (;;) {
        std::deque<Item> batch;
        {
            std::unique_lock lock(mutex_);
            work_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) {
                return;  // stopping, and everything is written
            }
            // The operator's reset is written at once: a script may read the journal right after.
            work_.wait_for(lock, kGatherTime, [this] {
                return stopping_ || waiting_ > 0 || acknowledgements_ > 0 ||
                       queue_.size() >= kMostPerBatch;
            });
            while (!queue_.empty() && batch.size() < kMostPerBatch) {
                if (queue_.front().kind == Item::Kind::Acknowledge) {
                    --acknowledgements_;
                }
                batch.push_back(std::move(queue_.front()));
                queue_.pop_front();
            }
            writing_ = batch.size();
        }
        // The connection belongs to this thread: it is made, used and closed here only.
        write(store, batch);
        {
            std::lock_guard lock(mutex_);
            writing_ = 0;
        }
        idle_.notify_all();
    }
}

bool JournalWriter::ensureOpen(JournalStore& store, const QDateTime& now) {
    if (store.isOpen()) {
        return true;
    }
    if (lastOpenTry_.isValid() && lastOpenTry_.secsTo(now) < kRetrySecs) {
        return false;
    }
    lastOpenTry_ = now;
    Result<void> opened = store.open();
    if (!opened.ok() && store.damaged()) {
        const Result<QString> aside = JournalStore::moveAside(path_, now);
        if (aside.ok()) {
            reports_.movedAside(aside.value());
            opened = store.open();
        }
    }
    if (!opened.ok()) {
        if (!failing_) {
            failing_ = true;
            reports_.failed(opened.error());
        }
        return false;
    }
    return true;
}

Result<void> JournalWriter::writeAll(JournalStore& store, const std::deque<Item>& batch) {
    if (Result<void> begun = store.beginBatch(); !begun.ok()) {
        return begun;
    }
    for (const Item& item : batch) {
        Result<void> done;
        if (item.kind == Item::Kind::Record) {
            done = store.record(item.report);
        } else if (item.kind == Item::Kind::Acknowledge) {
            const Result<int> acknowledged = store.acknowledgeOpen(item.at, item.by);
            if (!acknowledged.ok()) {
                done = acknowledged.error();
            }
        }
        if (!done.ok()) {
            store.abandonBatch();
            return done;
        }
    }
    return store.commitBatch();
}

void JournalWriter::write(JournalStore& store, std::deque<Item>& batch) {
    // The time of the batch's last record or reset; a batch of actions alone writes nothing.
    const auto lastWrite = std::find_if(batch.rbegin(), batch.rend(), [](const Item& item) {
        return item.kind != Item::Kind::Action;
    });
    const bool hasWrites = lastWrite != batch.rend();
    const QDateTime now = hasWrites ? lastWrite->at : QDateTime();
    // In trouble the records of a batch are lost, and said once; the file is tried again later.
    if (hasWrites && ensureOpen(store, now)) {
        Result<void> written = writeAll(store, batch);
        if (!written.ok() && store.damaged()) {
            store.close();
            const Result<QString> aside = JournalStore::moveAside(path_, now);
            if (aside.ok()) {
                reports_.movedAside(aside.value());
                lastOpenTry_ = QDateTime();
                written = ensureOpen(store, now) ? writeAll(store, batch) : written;
            }
        }
        if (!written.ok()) {
            // A file that failed may work again (space freed, lock gone): the next batch tries.
            lastOpenTry_ = now;
            if (!failing_) {
                failing_ = true;
                reports_.failed(written.error());
            }
        } else if (failing_) {
            failing_ = false;
            reports_.recovered();
        }
    }
    // What waited for these records goes on whatever became of them: a journal in trouble
    // never holds up the monitor.
    for (Item& item : batch) {
        if (item.kind == Item::Kind::Action && item.action) {
            item.action();
        }
    }
}

}  // namespace kervo

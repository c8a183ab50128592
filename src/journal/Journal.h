#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QTimer>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include "journal/JournalStore.h"

namespace kervo {

class Clock;
class JournalWriter;
class ProblemLog;

// The operator's journal as the monitor uses it: every analysed report with its alarms, the
// resets and acknowledgements, kept in a file for a number of days. The reports and resets are
// written on a thread of their own, in order; the history reads on this thread. It never stands
// between a report and its alarm: a file that cannot be written is said once on the log and
// shown as trouble, and the monitor goes on; a damaged file is moved aside whole and a new one
// begun. Old records go in the background, on a connection of their own.
class Journal : public QObject {
    Q_OBJECT
  public:
    static constexpr int kDefaultRetentionDays = 90;

    Journal(QString path, int retentionDays, const Clock& clock, ProblemLog& log,
            QObject* parent = nullptr);
    // Writes what is queued, and waits for an upkeep under way; its batches are small.
    ~Journal() override;

    // Opens the file, starts the writer and the hourly upkeep. A failure is reported, not
    // returned: the monitor starts all the same and the journal tries again.
    void start();

    // Queued for the writer, in this order. Before the start they do nothing.
    void record(ReportRecord report);
    // The operator's reset: every alarm recorded so far acknowledged by `by`.
    void acknowledgeOpen(const QString& by);
    // Runs the action once everything queued before it is written, or has failed to be; on the
    // writer's thread. Before the start, at once.
    void afterRecorded(std::function<void()> action);
    // Waits at most `ms` until everything queued is written; whether it was. Any thread.
    bool waitUntilWritten(int ms) const;
    bool isWriting() const;

    // One alarm acknowledged from the history, with the operator's comment, on this thread.
    [[nodiscard]] Result<void> acknowledge(qint64 alarmId, const QString& by,
                                           const QString& comment);

    // Reads for the history and the start-up's announcement.
    const JournalStore& store() const { return store_; }
    int openAlarmCount() const;

    bool inTrouble() const { return trouble_; }
    const QString& path() const { return store_.path(); }

    // One upkeep pass, on the calling thread, on a connection of its own: the records older than
    // the retention period are removed in small batches and the write-ahead log is copied into
    // the file. How many reports went.
    static Result<int> upkeep(const QString& path, const QDateTime& cutoff);
    // Starts a pass on a thread of its own unless one is under way.
    void startUpkeep();
    // Waits until the pass under way, if any, has ended.
    void waitForUpkeep();

    // The login name of whoever runs the monitor: who acknowledged.
    static QString operatorName();

  Q_SIGNALS:
    void troubleChanged(bool inTrouble);

  private:
    bool ensureOpen();
    void noteFailure(const Error& error);
    void noteSuccess();
    void noteMovedAside(const QString& aside);

    JournalStore store_;
    const int retentionDays_;
    const Clock& clock_;
    ProblemLog& log_;
    bool trouble_ = false;
    QDateTime lastOpenTry_;
    QTimer upkeepTimer_;
    std::thread upkeepThread_;
    std::atomic<bool> upkeepRunning_{false};
    std::unique_ptr<JournalWriter> writer_;
};

}  // namespace kervo

#pragma once

#include <QDateTime>
#include <QString>
#include <memory>
#include <vector>

#include "app/Result.h"
#include "journal/JournalRecords.h"

class QSqlError;

namespace kervo {

// The journal's file, through one SQLite connection of the thread that made it. Every call says
// through its Result whether it worked; nothing here reports, retries or gives up on its own:
// the Journal decides that.
class JournalStore {
  public:
    // The schema version this build writes. Older files are brought up to it step by step.
    static constexpr int kSchemaVersion = 2;

    explicit JournalStore(QString path);
    ~JournalStore();
    JournalStore(const JournalStore&) = delete;
    JournalStore& operator=(const JournalStore&) = delete;

    // Opens the file, creating it and its folder with owner-only rights when missing, and brings
    // its schema up to date. A file that is no journal or is damaged sets damaged().
    Result<void> open();
    // Opens an existing journal to read it only: no file, folder or schema change.
    Result<void> openToRead();
    void close();
    bool isOpen() const;
    // The last failure came from a file that SQLite found damaged or not to be a database.
    bool damaged() const { return damaged_; }
    const QString& path() const { return path_; }
    int schemaVersion() const;

    // The report and its alarms in one transaction; a mail file already recorded is left as it
    // is (a report analysed again after a crash).
    Result<void> record(const ReportRecord& report);
    // Several records and acknowledgements in one transaction: one commit for all of them. Until
    // commitBatch, record and acknowledgeOpen write inside it.
    Result<void> beginBatch();
    Result<void> commitBatch();
    void abandonBatch();
    // Moves a damaged journal file, with its write-ahead log and index, beside itself under a
    // name of the time; the new path.
    static Result<QString> moveAside(const QString& path, const QDateTime& now);

    // Acknowledges every open alarm; how many there were.
    Result<int> acknowledgeOpen(const QDateTime& at, const QString& by);
    // Acknowledges one alarm, open or not, with the operator's comment.
    Result<void> acknowledge(qint64 alarmId, const QDateTime& at, const QString& by,
                             const QString& comment);
    // The alarms the filter selects: the open ones first, each part newest first.
    Result<std::vector<AlarmEntry>> alarms(const AlarmFilter& filter) const;
    Result<int> openAlarmCount() const;
    Result<KeptReport> report(qint64 reportId) const;
    // Per server, reports and alarms in `count` periods of `period` seconds from `from` on.
    Result<std::vector<ServerActivity>> activity(const QDateTime& from, qint64 period,
                                                 int count) const;
    // Removes at most `batch` reports received before the cut-off with their alarms; reports
    // with an alarm still open stay. How many went.
    Result<int> removeOlderThan(const QDateTime& cutoff, int batch);
    // Copies what the write-ahead log holds into the file without holding up the writers.
    Result<void> checkpoint();

  private:
    struct Connection;
    Result<void> connect(bool readOnly);
    Result<void> setUp(bool readOnly);
    Result<void> migrate();
    Error failure(const QString& what, const QSqlError& error) const;
    Error failure(const QString& what, int code, const QString& text) const;
    // A failure of SQLite's own interface: its result code and the connection's message.
    Error failure(const QString& what, int code) const;
    // The connection's SQLite handle, which the recording's statements run on.
    Result<void> takeHandle();
    bool beginStep();
    bool endStep();
    void abandonStep();
    // Rolls the step back and returns what failed.
    Error abandonStep(const QString& what, const QSqlError& error);
    Error abandonStep(Error failed);

    QString path_;
    std::unique_ptr<Connection> db_;
    mutable bool damaged_ = false;
    bool batch_ = false;
};

}  // namespace kervo

#pragma once

#include <QDateTime>
#include <QSqlDatabase>
#include <QString>
#include <QVariant>

#include "journal/JournalStore.h"

struct sqlite3;
struct sqlite3_stmt;

namespace kervo {

// One statement on SQLite's own interface, finalized with its holder.
class RawStatement {
  public:
    RawStatement() = default;
    ~RawStatement() { reset(); }
    RawStatement(const RawStatement&) = delete;
    RawStatement& operator=(const RawStatement&) = delete;

    // The SQLite result code of the preparation.
    int prepare(sqlite3* db, const char* sql);
    void reset();
    sqlite3_stmt* get() const { return statement_; }
    explicit operator bool() const { return statement_ != nullptr; }

  private:
    sqlite3_stmt* statement_ = nullptr;
};

// One named Qt SQL connection, and the statements the monitor runs for every report, prepared
// once on the connection's own SQLite handle. The statements go before the connection does:
// SQLite does not close a connection with statements left.
struct JournalStore::Connection {
    QString name;
    sqlite3* handle = nullptr;
    RawStatement insertReport;
    RawStatement insertAlarm;

    QSqlDatabase db() const { return QSqlDatabase::database(name, false); }
    ~Connection() {
        insertReport.reset();
        insertAlarm.reset();
        {
            QSqlDatabase d = db();
            d.close();
        }
        QSqlDatabase::removeDatabase(name);
    }
};

// Times are kept as milliseconds since the epoch, UTC, so that they sort and compare as numbers.
inline qint64 journalStamp(const QDateTime& time) {
    return time.toMSecsSinceEpoch();
}
inline QDateTime journalTime(const QVariant& value) {
    return value.isNull() ? QDateTime() : QDateTime::fromMSecsSinceEpoch(value.toLongLong());
}

}  // namespace kervo

#pragma once

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <optional>

#include "journal/JournalStore.h"

namespace kervo {

// One named Qt SQL connection and the statements the monitor runs for every report, prepared
// once. The statements go before the connection does.
struct JournalStore::Connection {
    QString name;
    std::optional<QSqlQuery> insertReport;
    std::optional<QSqlQuery> insertAlarm;

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

#pragma once

// A journal file in a temporary folder, and a connection of the test's own that reads and
// damages it behind the journal's back.

#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include "journal/JournalStore.h"

namespace kervo::test {

// A report of the mail file at the given day and hour of March 2026, matching the given rules.
inline ReportRecord reportOf(const QString& mailFile, int day, int hour,
                             std::vector<int> rules = {},
                             const QString& server = QStringLiteral("web01")) {
    ReportRecord report{mailFile,
                        QDateTime(QDate(2026, 3, day), QTime(hour, 5)),
                        1,
                        server,
                        QStringLiteral("web01 check"),
                        QStringLiteral("all quiet"),
                        {}};
    for (const int rule : rules) {
        report.hits.push_back(
            {rule, QStringLiteral("R%1").arg(rule), QStringLiteral("message %1").arg(rule)});
    }
    return report;
}

struct JournalFile {
    QTemporaryDir folder;
    QString path = folder.filePath(QStringLiteral("kervo/journal.sqlite"));

    // One number the file holds, asked of it directly; -1 when the statement fails, 0 when it
    // gives no row.
    qint64 count(const QString& sql) const {
        qint64 value = -1;
        {
            QSqlDatabase db =
                QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("test-reader"));
            db.setDatabaseName(path);
            if (db.open()) {
                QSqlQuery query(db);
                if (query.exec(sql)) {
                    value = query.next() ? query.value(0).toLongLong() : 0;
                }
            }
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("test-reader"));
        return value;
    }
    qint64 reports() const { return count(QStringLiteral("SELECT count(*) FROM reports")); }
    qint64 alarms() const { return count(QStringLiteral("SELECT count(*) FROM alarms")); }
    qint64 openAlarms() const {
        return count(QStringLiteral("SELECT count(*) FROM alarms WHERE acknowledged IS NULL"));
    }
};

}  // namespace kervo::test

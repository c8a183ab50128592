// The journal's reads and its upkeep: what the history, the --history tool and the background
// removal of old records ask of the file.
#include <QDir>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <map>

#include "journal/JournalConnection.h"
#include "journal/JournalStore.h"

namespace kervo {

namespace {

// The most alarms one listing brings; the history's filters reach beyond that.
constexpr int kListedAlarmsLimit = 20000;

Error notOpen(const QString& path) {
    return Error{QStringLiteral("journal %1: not open").arg(QDir::toNativeSeparators(path))};
}

}  // namespace

Result<std::vector<AlarmEntry>> JournalStore::alarms(const AlarmFilter& filter) const {
    if (!db_) {
        return notOpen(path_);
    }
    QString sql = QStringLiteral(
        "SELECT a.id, a.report_id, a.raised, r.server, a.tag, a.message, r.subject, "
        "a.acknowledged, a.acknowledged_by, a.comment FROM alarms a JOIN reports r ON r.id = "
        "a.report_id WHERE 1");
    QVariantList values;
    if (filter.since.isValid()) {
        sql += QStringLiteral(" AND a.raised >= ?");
        values << journalStamp(filter.since);
    }
    if (!filter.server.isEmpty()) {
        sql += QStringLiteral(" AND r.server = ?");
        values << filter.server;
    }
    if (!filter.text.isEmpty()) {
        // instr, not LIKE: the operator's % and _ are meant as they are.
        sql += QStringLiteral(
            " AND (instr(lower(r.subject), ?) OR instr(lower(a.message), ?) OR "
            "instr(lower(a.tag), ?) OR instr(lower(r.server), ?))");
        const QString text = filter.text.toLower();
        values << text << text << text << text;
    }
    sql +=
        QStringLiteral(" ORDER BY a.acknowledged IS NULL DESC, a.raised DESC, a.id DESC LIMIT %1")
            .arg(kListedAlarmsLimit);
    QSqlQuery query(db_->db());
    query.setForwardOnly(true);
    query.prepare(sql);
    for (const QVariant& value : std::as_const(values)) {
        query.addBindValue(value);
    }
    if (!query.exec()) {
        return failure(QStringLiteral("cannot list the alarms"), query.lastError());
    }
    std::vector<AlarmEntry> entries;
    while (query.next()) {
        AlarmEntry entry;
        entry.id = query.value(0).toLongLong();
        entry.reportId = query.value(1).toLongLong();
        entry.raised = journalTime(query.value(2));
        entry.server = query.value(3).toString();
        entry.tag = query.value(4).toString();
        entry.message = query.value(5).toString();
        entry.subject = query.value(6).toString();
        entry.acknowledged = journalTime(query.value(7));
        entry.acknowledgedBy = query.value(8).toString();
        entry.comment = query.value(9).toString();
        entries.push_back(std::move(entry));
    }
    return entries;
}

Result<int> JournalStore::openAlarmCount() const {
    if (!db_) {
        return notOpen(path_);
    }
    QSqlQuery query(db_->db());
    if (!query.exec(QStringLiteral("SELECT count(*) FROM alarms WHERE acknowledged IS NULL")) ||
        !query.next()) {
        return failure(QStringLiteral("cannot count the open alarms"), query.lastError());
    }
    return query.value(0).toInt();
}

Result<KeptReport> JournalStore::report(qint64 reportId) const {
    if (!db_) {
        return notOpen(path_);
    }
    QSqlQuery query(db_->db());
    query.prepare(QStringLiteral("SELECT subject, body, body_cut FROM reports WHERE id = ?"));
    query.addBindValue(reportId);
    if (!query.exec()) {
        return failure(QStringLiteral("cannot read a report"), query.lastError());
    }
    if (!query.next()) {
        return Error{QStringLiteral("journal %1: no report %2")
                         .arg(QDir::toNativeSeparators(path_))
                         .arg(reportId)};
    }
    return KeptReport{query.value(0).toString(), query.value(1).toString(),
                      query.value(2).toInt() != 0};
}

Result<std::vector<ServerActivity>> JournalStore::activity(const QDateTime& from, qint64 period,
                                                           int count) const {
    if (!db_) {
        return notOpen(path_);
    }
    const qint64 start = journalStamp(from);
    const qint64 periodMs = period * 1000;
    const qint64 end = start + periodMs * count;
    std::map<QString, ServerActivity> byServer;
    const auto slotOf = [&](const QString& server) -> ServerActivity& {
        ServerActivity& activity = byServer[server];
        if (activity.reports.empty()) {
            activity.server = server;
            activity.reports.assign(static_cast<size_t>(count), 0);
            activity.alarms.assign(static_cast<size_t>(count), 0);
        }
        return activity;
    };
    const QString counts[2] = {
        QStringLiteral("SELECT server, (received - ?) / ?, count(*) FROM reports WHERE received "
                       ">= ? AND received < ? GROUP BY 1, 2"),
        QStringLiteral("SELECT r.server, (a.raised - ?) / ?, count(*) FROM alarms a JOIN reports r "
                       "ON r.id = a.report_id WHERE a.raised >= ? AND a.raised < ? GROUP BY 1, 2"),
    };
    for (int kind = 0; kind < 2; ++kind) {
        QSqlQuery query(db_->db());
        query.setForwardOnly(true);
        query.prepare(counts[kind]);
        for (const qint64 value : {start, periodMs, start, end}) {
            query.addBindValue(value);
        }
        if (!query.exec()) {
            return failure(QStringLiteral("cannot count the reports"), query.lastError());
        }
        while (query.next()) {
            const qint64 slot = query.value(1).toLongLong();
            if (slot < 0 || slot >= count) {
                continue;
            }
            ServerActivity& activity = slotOf(query.value(0).toString());
            (kind == 0 ? activity.reports : activity.alarms)[static_cast<size_t>(slot)] +=
                query.value(2).toInt();
        }
    }
    std::vector<ServerActivity> out;
    for (auto& [server, activity] : byServer) {
        out.push_back(std::move(activity));
    }
    return out;
}

Result<int> JournalStore::removeOlderThan(const QDateTime& cutoff, int batch) {
    if (!db_) {
        return notOpen(path_);
    }
    QSqlQuery query(db_->db());
    // An alarm nobody has acknowledged is never lost from view, however old.
    query.prepare(QStringLiteral(
        "DELETE FROM reports WHERE id IN (SELECT id FROM reports r WHERE received < ? AND NOT "
        "EXISTS (SELECT 1 FROM alarms a WHERE a.report_id = r.id AND a.acknowledged IS NULL) "
        "LIMIT ?)"));
    query.addBindValue(journalStamp(cutoff));
    query.addBindValue(batch);
    if (!query.exec()) {
        return failure(QStringLiteral("cannot remove old records"), query.lastError());
    }
    const int removed = query.numRowsAffected();
    query.prepare(QStringLiteral("DELETE FROM resets WHERE at < ?"));
    query.addBindValue(journalStamp(cutoff));
    if (!query.exec()) {
        return failure(QStringLiteral("cannot remove old records"), query.lastError());
    }
    return removed;
}

Result<void> JournalStore::checkpoint() {
    if (!db_) {
        return notOpen(path_);
    }
    QSqlQuery query(db_->db());
    if (!query.exec(QStringLiteral("PRAGMA wal_checkpoint(PASSIVE)"))) {
        return failure(QStringLiteral("cannot copy the write-ahead log"), query.lastError());
    }
    return {};
}

}  // namespace kervo

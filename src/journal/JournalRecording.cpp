// The journal's write for every mail of a poll: a report and its alarms. It runs on SQLite's own
// interface, not through Qt SQL, because of what a poll of thousands of reports costs the
// writer's thread: Qt SQL hands SQLite every text in UTF-16, which SQLite then translated into
// the file's UTF-8 character by character (a sixth of the writer's time, most of it the 4 KB
// bodies), and wraps every value in a QVariant. Here the texts go in as UTF-8, converted by Qt's
// own fast conversion, and nothing else changes: the same statements, rows and file.
#include <sqlite3.h>

#include <QDir>
#include <QSqlDriver>
#include <QSqlError>
#include <QVariant>
#include <type_traits>

#include "journal/JournalConnection.h"
#include "journal/JournalStore.h"

namespace kervo {

namespace {

constexpr const char* kInsertReport =
    "INSERT INTO reports (mail_file, received, dial, server, subject, body, body_cut) VALUES (?, "
    "?, ?, ?, ?, ?, ?) ON CONFLICT (mail_file) DO NOTHING";
constexpr const char* kInsertAlarm =
    "INSERT INTO alarms (report_id, rule, tag, message, raised) VALUES (?, ?, ?, ?, ?) ON "
    "CONFLICT (report_id, rule) DO NOTHING";

// The bytes must outlive the statement's step: SQLite keeps the pointer, not a copy.
int bindText(sqlite3_stmt* statement, int index, const QByteArray& utf8) {
    return sqlite3_bind_text64(statement, index, utf8.constData(),
                               static_cast<sqlite3_uint64>(utf8.size()), SQLITE_STATIC,
                               SQLITE_UTF8);
}

// Binds every value, then runs the statement once; SQLITE_DONE when it ran. The statement is
// reset either way, so that the transaction around it can end, and its values cleared: the
// texts' bytes go with the caller's temporaries.
template <typename... Values>
int runOnce(sqlite3_stmt* statement, const Values&... values) {
    int index = 0;
    int rc = SQLITE_OK;
    const auto bind = [&](const auto& value) {
        ++index;
        if (rc != SQLITE_OK) {
            return;
        }
        using Value = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<Value, QByteArray>) {
            rc = bindText(statement, index, value);
        } else {
            rc = sqlite3_bind_int64(statement, index, static_cast<sqlite3_int64>(value));
        }
    };
    (bind(values), ...);
    if (rc == SQLITE_OK) {
        rc = sqlite3_step(statement);
    }
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    return rc;
}

}  // namespace

int RawStatement::prepare(sqlite3* db, const char* sql) {
    reset();
    return sqlite3_prepare_v3(db, sql, -1, SQLITE_PREPARE_PERSISTENT, &statement_, nullptr);
}

void RawStatement::reset() {
    sqlite3_finalize(statement_);
    statement_ = nullptr;
}

Error JournalStore::failure(const QString& what, int code) const {
    const char* message = db_ && db_->handle ? sqlite3_errmsg(db_->handle) : sqlite3_errstr(code);
    return failure(what, code, QString::fromUtf8(message));
}

Result<void> JournalStore::takeHandle() {
    const QVariant handle = db_->db().driver()->handle();
    if (!handle.isValid() || qstrcmp(handle.typeName(), "sqlite3*") != 0) {
        return Error{QStringLiteral("journal %1: the SQLite driver gives no handle")
                         .arg(QDir::toNativeSeparators(path_))};
    }
    db_->handle = *static_cast<sqlite3* const*>(handle.constData());
    return {};
}

Result<void> JournalStore::record(const ReportRecord& report) {
    if (!db_) {
        return Error{QStringLiteral("journal %1: not open").arg(QDir::toNativeSeparators(path_))};
    }
    if (!db_->insertReport) {
        for (auto [statement, sql] : {std::pair{&db_->insertReport, kInsertReport},
                                      std::pair{&db_->insertAlarm, kInsertAlarm}}) {
            if (const int rc = statement->prepare(db_->handle, sql); rc != SQLITE_OK) {
                Error error = failure(QStringLiteral("cannot record a report"), rc);
                db_->insertReport.reset();
                return error;
            }
        }
    }
    if (!beginStep()) {
        return failure(QStringLiteral("cannot record a report"), db_->db().lastError());
    }
    const bool cut = report.body.size() > kJournalTextLimit;
    const qint64 received = journalStamp(report.received);
    int rc =
        runOnce(db_->insertReport.get(), report.mailFile.toUtf8(), received, report.dial,
                report.server.toUtf8(), report.subject.left(kJournalTextLimit).toUtf8(),
                (cut ? report.body.left(kJournalTextLimit) : report.body).toUtf8(), cut ? 1 : 0);
    if (rc != SQLITE_DONE) {
        return abandonStep(failure(QStringLiteral("cannot record a report"), rc));
    }
    // Recorded before, by a run that ended before the mail was marked analysed.
    const bool known = sqlite3_changes(db_->handle) == 0;
    const qint64 reportId = sqlite3_last_insert_rowid(db_->handle);
    for (const RuleHit& hit : report.hits) {
        if (known) {
            break;
        }
        rc = runOnce(db_->insertAlarm.get(), reportId, hit.rule, hit.tag.toUtf8(),
                     hit.message.toUtf8(), received);
        if (rc != SQLITE_DONE) {
            return abandonStep(failure(QStringLiteral("cannot record an alarm"), rc));
        }
    }
    if (!endStep()) {
        return abandonStep(QStringLiteral("cannot record a report"), db_->db().lastError());
    }
    return {};
}

}  // namespace kervo

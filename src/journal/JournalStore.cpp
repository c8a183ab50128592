#include "journal/JournalStore.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <atomic>
#include <cstring>
#include <map>

#include "journal/JournalConnection.h"
#include "journal/JournalSchema.h"

namespace kervo {

namespace {

constexpr int kSqliteCorrupt = 11;
constexpr int kSqliteNotADatabase = 26;
// How long a write waits for the background upkeep to let go of the file. Its batches are
// small; a longer wait would be a stall of the window.
constexpr int kBusyWaitMs = 250;

std::atomic<int> connectionCount{0};

// The file and its folder exist with owner-only rights before SQLite opens them; SQLite gives
// its write-ahead log and index files the rights of the file.
Result<void> prepareFile(const QString& path) {
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        return Error{QStringLiteral("journal: the folder %1 cannot be created")
                         .arg(QDir::toNativeSeparators(folder))};
    }
    const QByteArray native = QFile::encodeName(path);
    const int fd = ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) {
        return Error{
            QStringLiteral("journal: %1 cannot be opened for writing: %2")
                .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(std::strerror(errno)))};
    }
    ::fchmod(fd, 0600);
    ::close(fd);
    return {};
}

}  // namespace

JournalStore::JournalStore(QString path) : path_(std::move(path)) {}

JournalStore::~JournalStore() = default;

void JournalStore::close() {
    batch_ = false;
    db_.reset();
}

bool JournalStore::isOpen() const {
    return db_ != nullptr;
}

Error JournalStore::failure(const QString& what, const QSqlError& error) const {
    return failure(what, error.nativeErrorCode().toInt(), error.text());
}

Error JournalStore::failure(const QString& what, int code, const QString& text) const {
    // The extended code's low byte is the primary one.
    if ((code & 0xff) == kSqliteCorrupt || (code & 0xff) == kSqliteNotADatabase) {
        damaged_ = true;
    }
    return Error{
        QStringLiteral("journal %1: %2: %3").arg(QDir::toNativeSeparators(path_), what, text)};
}

Result<void> JournalStore::connect(bool readOnly) {
    close();
    damaged_ = false;
    auto connection = std::make_unique<Connection>();
    connection->name = QStringLiteral("kervo-journal-%1").arg(++connectionCount);
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection->name);
        db.setDatabaseName(path_);
        db.setConnectOptions(
            QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1%2")
                .arg(kBusyWaitMs)
                .arg(readOnly ? QStringLiteral(";QSQLITE_OPEN_READONLY") : QString()));
        if (!db.open()) {
            return failure(QStringLiteral("cannot be opened"), db.lastError());
        }
    }
    db_ = std::move(connection);
    Result<void> ready = takeHandle();
    if (ready.ok()) {
        ready = setUp(readOnly);
    }
    if (!ready.ok()) {
        close();
    }
    return ready;
}

Result<void> JournalStore::setUp(bool readOnly) {
    QSqlQuery query(db_->db());
    // Reading the version reads the file's head: a file that is no journal fails here.
    if (!query.exec(QStringLiteral("PRAGMA user_version"))) {
        return failure(QStringLiteral("cannot be read"), query.lastError());
    }
    if (readOnly) {
        return {};
    }
    // The write-ahead log lets the upkeep and the history read while the monitor writes; a
    // commit then costs no wait for the disk, and the log is copied into the file by the
    // background upkeep, not at a commit of the window's thread.
    for (const char* pragma : {"PRAGMA journal_mode=WAL", "PRAGMA synchronous=NORMAL",
                               "PRAGMA foreign_keys=ON", "PRAGMA wal_autocheckpoint=0"}) {
        if (!query.exec(QString::fromLatin1(pragma))) {
            return failure(QStringLiteral("cannot be set up"), query.lastError());
        }
    }
    return {};
}

Result<void> JournalStore::open() {
    if (Result<void> prepared = prepareFile(path_); !prepared.ok()) {
        return prepared;
    }
    if (Result<void> connected = connect(false); !connected.ok()) {
        return connected;
    }
    Result<void> migrated = migrate();
    if (!migrated.ok()) {
        close();
    }
    return migrated;
}

Result<void> JournalStore::openToRead() {
    if (!QFileInfo::exists(path_)) {
        return Error{
            QStringLiteral("journal %1: no such file").arg(QDir::toNativeSeparators(path_))};
    }
    return connect(true);
}

int JournalStore::schemaVersion() const {
    if (!db_) {
        return 0;
    }
    QSqlQuery query(db_->db());
    if (!query.exec(QStringLiteral("PRAGMA user_version")) || !query.next()) {
        return 0;
    }
    return query.value(0).toInt();
}

Result<void> JournalStore::migrate() {
    QSqlDatabase db = db_->db();
    const int found = schemaVersion();
    if (found > kSchemaVersion) {
        return Error{QStringLiteral("journal %1: written by a newer kervo (schema %2, this one "
                                    "knows up to %3); left as it is")
                         .arg(QDir::toNativeSeparators(path_))
                         .arg(found)
                         .arg(kSchemaVersion)};
    }
    // One transaction per step, the version written inside it: a step cut short by a crash is
    // taken again whole at the next start.
    for (int version = found + 1; version <= kSchemaVersion; ++version) {
        if (!db.transaction()) {
            return failure(QStringLiteral("cannot start the schema update"), db.lastError());
        }
        QSqlQuery query(db);
        QStringList statements = schemaStep(version);
        statements << QStringLiteral("PRAGMA user_version = %1").arg(version);
        for (const QString& statement : std::as_const(statements)) {
            if (!query.exec(statement)) {
                Error error =
                    failure(QStringLiteral("schema update to version %1 failed").arg(version),
                            query.lastError());
                db.rollback();
                return error;
            }
        }
        if (!db.commit()) {
            return failure(QStringLiteral("schema update to version %1 failed").arg(version),
                           db.lastError());
        }
    }
    return {};
}

bool JournalStore::beginStep() {
    return batch_ || db_->db().transaction();
}

bool JournalStore::endStep() {
    return batch_ || db_->db().commit();
}

void JournalStore::abandonStep() {
    if (!batch_) {
        db_->db().rollback();
    }
}

Error JournalStore::abandonStep(const QString& what, const QSqlError& error) {
    // The error is read before the rollback, which would replace it with its own.
    return abandonStep(failure(what, error));
}

Error JournalStore::abandonStep(Error failed) {
    abandonStep();
    return failed;
}

Result<void> JournalStore::beginBatch() {
    if (!db_) {
        return Error{QStringLiteral("journal %1: not open").arg(QDir::toNativeSeparators(path_))};
    }
    QSqlDatabase db = db_->db();
    if (!db.transaction()) {
        return failure(QStringLiteral("cannot start writing"), db.lastError());
    }
    batch_ = true;
    return {};
}

Result<void> JournalStore::commitBatch() {
    batch_ = false;
    QSqlDatabase db = db_->db();
    if (!db.commit()) {
        Error error = failure(QStringLiteral("cannot write"), db.lastError());
        db.rollback();
        return error;
    }
    return {};
}

void JournalStore::abandonBatch() {
    batch_ = false;
    db_->db().rollback();
}

Result<QString> JournalStore::moveAside(const QString& path, const QDateTime& now) {
    const QString aside =
        QStringLiteral("%1.damaged-%2")
            .arg(path, now.toLocalTime().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    bool moved = QFile::rename(path, aside);
    for (const char* part : {"-wal", "-shm"}) {
        const QString extra = path + QString::fromLatin1(part);
        if (QFile::exists(extra)) {
            moved = QFile::rename(extra, aside + QString::fromLatin1(part)) && moved;
        }
    }
    if (!moved) {
        return Error{QStringLiteral("journal %1 is damaged and cannot be moved aside")
                         .arg(QDir::toNativeSeparators(path))};
    }
    return aside;
}

Result<int> JournalStore::acknowledgeOpen(const QDateTime& at, const QString& by) {
    if (!db_) {
        return Error{QStringLiteral("journal %1: not open").arg(QDir::toNativeSeparators(path_))};
    }
    QSqlDatabase db = db_->db();
    if (!beginStep()) {
        return failure(QStringLiteral("cannot record the reset"), db.lastError());
    }
    QSqlQuery query(db);
    query.prepare(QStringLiteral("INSERT INTO resets (at, by) VALUES (?, ?)"));
    query.addBindValue(journalStamp(at));
    query.addBindValue(by);
    if (!query.exec()) {
        return abandonStep(QStringLiteral("cannot record the reset"), query.lastError());
    }
    query.prepare(
        QStringLiteral("UPDATE alarms SET acknowledged = ?, acknowledged_by = ? WHERE acknowledged "
                       "IS NULL"));
    query.addBindValue(journalStamp(at));
    query.addBindValue(by);
    if (!query.exec()) {
        return abandonStep(QStringLiteral("cannot acknowledge the alarms"), query.lastError());
    }
    const int count = query.numRowsAffected();
    query.finish();
    if (!endStep()) {
        return abandonStep(QStringLiteral("cannot acknowledge the alarms"), db.lastError());
    }
    return count;
}

Result<void> JournalStore::acknowledge(qint64 alarmId, const QDateTime& at, const QString& by,
                                       const QString& comment) {
    if (!db_) {
        return Error{QStringLiteral("journal %1: not open").arg(QDir::toNativeSeparators(path_))};
    }
    QSqlQuery query(db_->db());
    query.prepare(QStringLiteral(
        "UPDATE alarms SET acknowledged = ?, acknowledged_by = ?, comment = ? WHERE id = ?"));
    query.addBindValue(journalStamp(at));
    query.addBindValue(by);
    query.addBindValue(comment.isEmpty() ? QVariant() : QVariant(comment));
    query.addBindValue(alarmId);
    if (!query.exec()) {
        return failure(QStringLiteral("cannot acknowledge the alarm"), query.lastError());
    }
    if (query.numRowsAffected() == 0) {
        return Error{QStringLiteral("journal %1: no alarm %2")
                         .arg(QDir::toNativeSeparators(path_))
                         .arg(alarmId)};
    }
    return {};
}

}  // namespace kervo

#include "journal/Journal.h"

#include <pwd.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QMetaObject>

#include "app/ProblemLog.h"
#include "app/Seams.h"
#include "journal/JournalWriter.h"

namespace kervo {

namespace {

// After a failure the file is tried again this often, not at every report: a locked file costs
// each try its wait, and a poll of thousands of reports must not pay that wait thousands of
// times.
constexpr qint64 kRetrySecs = 30;
constexpr int kUpkeepBatch = 500;
constexpr int kUpkeepIntervalMs = 60 * 60 * 1000;

}  // namespace

Journal::Journal(QString path, int retentionDays, const Clock& clock, ProblemLog& log,
                 QObject* parent)
    : QObject(parent),
      store_(std::move(path)),
      retentionDays_(retentionDays),
      clock_(clock),
      log_(log) {
    upkeepTimer_.setInterval(kUpkeepIntervalMs);
    connect(&upkeepTimer_, &QTimer::timeout, this, &Journal::startUpkeep);
}

Journal::~Journal() {
    writer_.reset();
    waitForUpkeep();
}

void Journal::start() {
    (void)ensureOpen();
    // The writer's reports come on its thread; they are handled on this one.
    JournalWriter::Reports reports{
        [this](const Error& error) {
            QMetaObject::invokeMethod(
                this, [this, error] { noteFailure(error); }, Qt::QueuedConnection);
        },
        [this] { QMetaObject::invokeMethod(this, &Journal::noteSuccess, Qt::QueuedConnection); },
        [this](const QString& aside) {
            QMetaObject::invokeMethod(
                this,
                [this, aside] {
                    noteMovedAside(aside);
                    store_.close();  // it still points at the file moved aside
                    lastOpenTry_ = QDateTime();
                    (void)ensureOpen();
                },
                Qt::QueuedConnection);
        }};
    writer_ = std::make_unique<JournalWriter>(store_.path(), std::move(reports));
    upkeepTimer_.start();
    if (store_.isOpen()) {
        startUpkeep();
    }
}

bool Journal::ensureOpen() {
    if (store_.isOpen()) {
        return true;
    }
    const QDateTime now = clock_.now();
    if (lastOpenTry_.isValid() && lastOpenTry_.secsTo(now) < kRetrySecs) {
        return false;
    }
    lastOpenTry_ = now;
    Result<void> opened = store_.open();
    if (!opened.ok() && store_.damaged()) {
        const Result<QString> aside = JournalStore::moveAside(store_.path(), now);
        if (aside.ok()) {
            noteMovedAside(aside.value());
            opened = store_.open();
        }
    }
    if (!opened.ok()) {
        noteFailure(opened.error());
        return false;
    }
    return true;
}

// Moved, never emptied: what the damaged file still holds can be read back by hand.
void Journal::noteMovedAside(const QString& aside) {
    log_.warn(QStringLiteral("journal %1 is damaged; it was moved to %2 and a new journal begun")
                  .arg(QDir::toNativeSeparators(store_.path()), QDir::toNativeSeparators(aside)));
}

void Journal::noteFailure(const Error& error) {
    lastOpenTry_ = clock_.now();
    if (trouble_) {
        return;  // said once per spell of trouble, not at every report
    }
    trouble_ = true;
    log_.report(QStringLiteral("%1; the monitor and its alarms go on, the journal is tried again "
                               "every %2 s")
                    .arg(error.message)
                    .arg(kRetrySecs));
    Q_EMIT troubleChanged(true);
}

void Journal::noteSuccess() {
    if (!store_.isOpen()) {
        lastOpenTry_ = QDateTime();
        (void)ensureOpen();
    }
    if (!trouble_) {
        return;
    }
    trouble_ = false;
    lastOpenTry_ = QDateTime();
    log_.report(
        QStringLiteral("journal %1: recording again").arg(QDir::toNativeSeparators(store_.path())));
    Q_EMIT troubleChanged(false);
}

void Journal::record(ReportRecord report) {
    if (writer_) {
        writer_->record(std::move(report), clock_.now());
    }
}

void Journal::acknowledgeOpen(const QString& by) {
    if (writer_) {
        writer_->acknowledgeOpen(clock_.now(), by);
    }
}

void Journal::afterRecorded(std::function<void()> action) {
    if (writer_) {
        writer_->afterWritten(std::move(action));
    } else {
        action();
    }
}

bool Journal::waitUntilWritten(int ms) const {
    return !writer_ || writer_->waitUntilIdle(ms);
}

bool Journal::isWriting() const {
    return writer_ && !writer_->isIdle();
}

Result<void> Journal::acknowledge(qint64 alarmId, const QString& by, const QString& comment) {
    if (!ensureOpen()) {
        return Error{QStringLiteral("journal %1 cannot be opened")
                         .arg(QDir::toNativeSeparators(store_.path()))};
    }
    return store_.acknowledge(alarmId, clock_.now(), by, comment);
}

int Journal::openAlarmCount() const {
    if (!store_.isOpen()) {
        return 0;
    }
    const Result<int> count = store_.openAlarmCount();
    return count.ok() ? count.value() : 0;
}

Result<int> Journal::upkeep(const QString& path, const QDateTime& cutoff) {
    JournalStore store(path);
    if (Result<void> opened = store.open(); !opened.ok()) {
        return opened.error();
    }
    int total = 0;
    for (;;) {
        const Result<int> removed = store.removeOlderThan(cutoff, kUpkeepBatch);
        if (!removed.ok()) {
            return removed.error();
        }
        total += removed.value();
        if (removed.value() < kUpkeepBatch) {
            break;
        }
    }
    if (Result<void> copied = store.checkpoint(); !copied.ok()) {
        return copied.error();
    }
    return total;
}

void Journal::startUpkeep() {
    if (!store_.isOpen() || upkeepRunning_.exchange(true)) {
        return;
    }
    if (upkeepThread_.joinable()) {
        upkeepThread_.join();
    }
    const QDateTime cutoff = clock_.now().addDays(-retentionDays_);
    upkeepThread_ = std::thread([this, path = store_.path(), cutoff] {
        const Result<int> removed = upkeep(path, cutoff);
        QMetaObject::invokeMethod(
            this,
            [this, removed] {
                if (!removed.ok()) {
                    log_.report(removed.error().message);
                }
            },
            Qt::QueuedConnection);
        upkeepRunning_ = false;
    });
}

void Journal::waitForUpkeep() {
    if (upkeepThread_.joinable()) {
        upkeepThread_.join();
    }
}

QString Journal::operatorName() {
    passwd entry{};
    passwd* found = nullptr;
    char buffer[4096];
    if (::getpwuid_r(::getuid(), &entry, buffer, sizeof buffer, &found) == 0 && found != nullptr) {
        return QString::fromLocal8Bit(found->pw_name);
    }
    return QString::number(::getuid());
}

}  // namespace kervo

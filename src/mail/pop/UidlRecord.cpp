#include "mail/pop/UidlRecord.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <cerrno>
#include <cstring>
#include <utility>

namespace kervo {

namespace {

constexpr qint64 kMaxRecordBytes = 64 * 1024 * 1024;

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace

std::optional<QByteArray> sanitisedUid(const QByteArray& raw) {
    if (raw.isEmpty() || raw.size() > 70) {
        return std::nullopt;
    }
    for (const char c : raw) {
        if (c < 0x21 || c > 0x7e) {
            return std::nullopt;
        }
    }
    return raw;
}

UidlRecord::UidlRecord(QString path) : path_(std::move(path)) {}

QString UidlRecord::load() {
    ids_.clear();
    QFile file(path_);
    if (!file.exists()) {
        return {};
    }
    if (!file.open(QIODevice::ReadOnly)) {
        return QStringLiteral("mail folder: %1 cannot be read: %2")
            .arg(QDir::toNativeSeparators(path_), file.errorString());
    }
    const QByteArray all = file.read(kMaxRecordBytes);
    for (const QByteArray& line : all.split('\n')) {
        if (const std::optional<QByteArray> uid = sanitisedUid(line)) {
            ids_.insert(*uid);
        }
    }
    return {};
}

QString UidlRecord::retainOnly(const QSet<QByteArray>& onServer) {
    QSet<QByteArray> kept;
    for (const QByteArray& uid : std::as_const(ids_)) {
        if (onServer.contains(uid)) {
            kept.insert(uid);
        }
    }
    if (kept.size() == ids_.size()) {
        return {};
    }
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly)) {
        return QStringLiteral("mail folder: %1 cannot be written: %2")
            .arg(QDir::toNativeSeparators(path_), file.errorString());
    }
    for (const QByteArray& uid : std::as_const(kept)) {
        file.write(uid + '\n');
    }
    if (!file.commit()) {
        return QStringLiteral("mail folder: %1 cannot be written: %2")
            .arg(QDir::toNativeSeparators(path_), file.errorString());
    }
    ids_ = std::move(kept);
    return {};
}

QString UidlRecord::add(const QByteArray& uid) {
    const QByteArray line = uid + '\n';
    const int fd = ::open(QFile::encodeName(path_).constData(),
                          O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        return QStringLiteral("mail folder: %1 cannot be written: %2")
            .arg(QDir::toNativeSeparators(path_), errnoText(errno));
    }
    const off_t before = ::lseek(fd, 0, SEEK_END);
    qsizetype done = 0;
    int error = 0;
    while (done < line.size()) {
        const ssize_t written =
            ::write(fd, line.constData() + done, static_cast<size_t>(line.size() - done));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            error = errno;
            break;
        }
        done += written;
    }
    if (error == 0 && ::fsync(fd) != 0) {
        error = errno;
    }
    if (error != 0 && before >= 0) {
        // A half-written line would glue itself to the next id.
        (void)::ftruncate(fd, before);
    }
    ::close(fd);
    if (error != 0) {
        return QStringLiteral("mail folder: %1 cannot be written: %2")
            .arg(QDir::toNativeSeparators(path_), errnoText(error));
    }
    ids_.insert(uid);
    return {};
}

}  // namespace kervo

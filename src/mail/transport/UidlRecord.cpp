#include "mail/transport/UidlRecord.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cerrno>
#include <cstring>

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

Result<void> UidlRecord::load() {
    ids_.clear();
    QFile file(path_);
    if (!file.exists()) {
        return {};
    }
    if (!file.open(QIODevice::ReadOnly)) {
        return Error{QStringLiteral("mail folder: %1 cannot be read: %2")
                         .arg(QDir::toNativeSeparators(path_), file.errorString())};
    }
    const QByteArray all = file.read(kMaxRecordBytes);
    for (const QByteArray& line : all.split('\n')) {
        const qsizetype space = line.indexOf(' ');
        bool sized = false;
        const qint64 size = space > 0 ? line.mid(space + 1).toLongLong(&sized) : -1;
        if (const std::optional<QByteArray> uid = sanitisedUid(line.left(space));
            uid && sized && size >= 0) {
            ids_.insert(*uid, size);
        }
    }
    return {};
}

bool UidlRecord::contains(const QByteArray& uid, qint64 size) const {
    const auto found = ids_.constFind(uid);
    return found != ids_.constEnd() && found.value() == size;
}

Result<void> UidlRecord::forget(const QSet<QByteArray>& spent) {
    qsizetype removed = 0;
    for (const QByteArray& uid : spent) {
        removed += ids_.remove(uid) ? 1 : 0;
    }
    if (removed == 0) {
        return {};
    }
    return rewrite();
}

Result<void> UidlRecord::rewrite() {
    QSaveFile file(path_);
    if (!file.open(QIODevice::WriteOnly)) {
        return Error{QStringLiteral("mail folder: %1 cannot be written: %2")
                         .arg(QDir::toNativeSeparators(path_), file.errorString())};
    }
    for (auto it = ids_.constBegin(); it != ids_.constEnd(); ++it) {
        file.write(it.key() + ' ' + QByteArray::number(it.value()) + '\n');
    }
    if (!file.commit()) {
        return Error{QStringLiteral("mail folder: %1 cannot be written: %2")
                         .arg(QDir::toNativeSeparators(path_), file.errorString())};
    }
    // The file itself is synced by the commit; its new name must reach the disk as well, or a
    // crash could bring back ids that are already spent.
    const int dir = ::open(QFile::encodeName(QFileInfo(path_).absolutePath()).constData(),
                           O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        (void)::fsync(dir);
        ::close(dir);
    }
    return {};
}

Result<void> UidlRecord::add(const QHash<QByteArray, qint64>& saved) {
    if (saved.isEmpty()) {
        return {};
    }
    QByteArray lines;
    for (auto it = saved.constBegin(); it != saved.constEnd(); ++it) {
        lines += it.key() + ' ' + QByteArray::number(it.value()) + '\n';
    }
    const int fd = ::open(QFile::encodeName(path_).constData(),
                          O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) {
        return Error{QStringLiteral("mail folder: %1 cannot be written: %2")
                         .arg(QDir::toNativeSeparators(path_), errnoText(errno))};
    }
    const off_t before = ::lseek(fd, 0, SEEK_END);
    qsizetype done = 0;
    int error = 0;
    while (done < lines.size()) {
        const ssize_t written =
            ::write(fd, lines.constData() + done, static_cast<size_t>(lines.size() - done));
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
        return Error{QStringLiteral("mail folder: %1 cannot be written: %2")
                         .arg(QDir::toNativeSeparators(path_), errnoText(error))};
    }
    ids_.insert(saved);
    return {};
}

}  // namespace kervo

#include "mail/transport/MailFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstring>

namespace kervo {

namespace {

constexpr qsizetype kWriteBuffer = 256 * 1024;

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QByteArray nativePath(const QString& path) {
    return QFile::encodeName(path);
}

// Creates path and its missing parents, owner-only. The Error names the culprit.
Result<void> makeDirectory(const QString& path) {
    const QFileInfo info(path);
    if (info.isDir()) {
        return {};
    }
    if (info.exists() || info.isSymLink()) {
        return Error{
            QStringLiteral("%1 exists and is not a folder").arg(QDir::toNativeSeparators(path))};
    }
    const QString parent = info.absolutePath();
    if (parent != info.absoluteFilePath()) {
        if (Result<void> made = makeDirectory(parent); !made.ok()) {
            return made;
        }
    }
    if (::mkdir(nativePath(path).constData(), 0700) != 0 && errno != EEXIST) {
        return Error{QStringLiteral("%1 cannot be created: %2")
                         .arg(QDir::toNativeSeparators(path), errnoText(errno))};
    }
    return {};
}

// The reports say where the servers are weak: a folder made wider by hand is taken back to the
// owner; the owner's own rights stay as they are. When that fails (not ours), the write check
// that follows still decides.
void keepOwnerOnly(const QString& path) {
    struct stat info {};
    const QByteArray native = nativePath(path);
    if (::stat(native.constData(), &info) == 0 && (info.st_mode & 077) != 0) {
        ::chmod(native.constData(), info.st_mode & 0700);
    }
}

bool syncDirectory(const QString& path) {
    const int fd = ::open(nativePath(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
}

// Makes every write to the file system holding the open folder durable. Since Linux 5.8 it
// also fails on a write-back error of any file there since the folder was opened.
Result<void> syncFileSystem(int folder, const QString& path) {
    if (folder < 0 || ::syncfs(folder) != 0) {
        return Error{
            QStringLiteral("the mails in %1 cannot be made durable: %2")
                .arg(QDir::toNativeSeparators(path), errnoText(folder < 0 ? EBADF : errno))};
    }
    return {};
}

}  // namespace

MailDraft::MailDraft(int fd, QString tmpPath, QString name)
    : fd_(fd), tmpPath_(std::move(tmpPath)), name_(std::move(name)) {
    pending_.reserve(kWriteBuffer);
}

MailDraft::~MailDraft() {
    discard();
}

void MailDraft::discard() {
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tmpPath_.isEmpty()) {
        ::unlink(nativePath(tmpPath_).constData());
        tmpPath_.clear();
    }
}

Result<void> MailDraft::flush() {
    qsizetype done = 0;
    while (done < pending_.size()) {
        const ssize_t written =
            ::write(fd_, pending_.constData() + done, static_cast<size_t>(pending_.size() - done));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int error = errno;
            kept_ = Error{error == ENOSPC || error == EDQUOT
                              ? QStringLiteral("the disk holding %1 is full")
                                    .arg(QDir::toNativeSeparators(tmpPath_))
                              : QStringLiteral("%1 cannot be written: %2")
                                    .arg(QDir::toNativeSeparators(tmpPath_), errnoText(error))};
            pending_.clear();
            return kept_;
        }
        done += written;
        written_ += written;
    }
    pending_.clear();
    return {};
}

Result<void> MailDraft::write(const char* data, qsizetype size) {
    if (fd_ < 0) {
        return Error{QStringLiteral("the mail was already saved or dropped")};
    }
    if (!kept_.ok()) {
        return kept_;
    }
    if (pending_.size() + size > kWriteBuffer) {
        if (Result<void> flushed = flush(); !flushed.ok()) {
            return flushed;
        }
    }
    if (size >= kWriteBuffer) {
        pending_ = QByteArray::fromRawData(data, size);
        Result<void> flushed = flush();
        pending_ = QByteArray();
        pending_.reserve(kWriteBuffer);
        return flushed;
    }
    pending_.append(data, size);
    return {};
}

Result<void> MailDraft::finish() {
    if (fd_ < 0) {
        return Error{QStringLiteral("the mail was already saved or dropped")};
    }
    Result<void> flushed = kept_.ok() ? flush() : kept_;
    // A large mail starts going to the disk now, while the next one is received; the batch's
    // sync then finds less to wait for.
    if (flushed.ok() && written_ >= kWriteBuffer) {
        (void)::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
    }
    // A close that fails may be the only word of a write that did not reach the disk.
    if (::close(fd_) != 0 && flushed.ok()) {
        flushed = Error{QStringLiteral("%1 cannot be written: %2")
                            .arg(QDir::toNativeSeparators(tmpPath_), errnoText(errno))};
    }
    fd_ = -1;
    if (!flushed.ok()) {
        discard();
    }
    return flushed;
}

MailFolder::MailFolder(QString root) : root_(QDir::cleanPath(std::move(root))) {}

MailFolder::~MailFolder() {
    if (draftsDir_ >= 0) {
        ::close(draftsDir_);
    }
}

QString MailFolder::part(const char* name) const {
    return root_ + u'/' + QLatin1StringView(name);
}

QString MailFolder::metaDir() const {
    return part("meta");
}

Result<void> MailFolder::prepare() const {
    if (root_.isEmpty()) {
        return Error{QStringLiteral("no mail folder was given")};
    }
    for (const QString& dir : {root_, part("tmp"), part("new"), part("cur"), part("meta")}) {
        if (Result<void> made = makeDirectory(dir); !made.ok()) {
            return Error{QStringLiteral("mail folder: %1").arg(made.error().message)};
        }
        keepOwnerOnly(dir);
        if (::access(nativePath(dir).constData(), W_OK | X_OK) != 0) {
            return Error{QStringLiteral("mail folder: %1 is not writable: %2")
                             .arg(QDir::toNativeSeparators(dir), errnoText(errno))};
        }
    }
    return {};
}

QStringList MailFolder::pending() const {
    const QDir dir(part("new"));
    QStringList out;
    for (const QString& name : dir.entryList(QDir::Files, QDir::Name)) {
        out.append(dir.filePath(name));
    }
    return out;
}

void MailFolder::removeDrafts() const {
    QDir dir(part("tmp"));
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        dir.remove(name);
    }
}

QString MailFolder::newName() {
    const QString stamp = QDateTime::currentDateTimeUtc().toString(u"yyyyMMdd-HHmmss-zzz");
    const quint32 random = QRandomGenerator::global()->generate();
    return QStringLiteral("%1-%2-%3.eml")
        .arg(stamp)
        .arg(++sequence_, 6, 10, QLatin1Char('0'))
        .arg(random, 8, 16, QLatin1Char('0'));
}

Result<std::unique_ptr<MailDraft>> MailFolder::startDraft() {
    if (draftsDir_ < 0) {
        draftsDir_ =
            ::open(nativePath(part("tmp")).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    }
    for (int attempt = 0; attempt < 5; ++attempt) {
        const QString name = newName();
        const QString tmpPath = part("tmp") + u'/' + name;
        const int fd =
            ::open(nativePath(tmpPath).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
            return std::unique_ptr<MailDraft>(new MailDraft(fd, tmpPath, name));
        }
        if (errno != EEXIST) {
            return Error{QStringLiteral("mail folder: %1 cannot be created: %2")
                             .arg(QDir::toNativeSeparators(tmpPath), errnoText(errno))};
        }
    }
    return Error{QStringLiteral("mail folder: no free file name in %1")
                     .arg(QDir::toNativeSeparators(part("tmp")))};
}

std::vector<Result<QString>> MailFolder::commit(std::vector<std::unique_ptr<MailDraft>> drafts) {
    return commit(std::move(drafts), trace_);
}

std::vector<Result<QString>> MailFolder::commit(
    std::vector<std::unique_ptr<MailDraft>> drafts,
    const std::function<void(const QString& step)>& trace) {
    const auto step = [&trace](const QString& name) {
        if (trace) {
            trace(name);
        }
    };
    std::vector<Result<QString>> out;
    if (drafts.empty()) {
        return out;
    }
    const QString tmpDir = part("tmp");
    const QString newDir = part("new");
    // One sync of the file system holding tmp/ makes every draft's content durable at once,
    // where a sync of each file would wait for the disk once per mail.
    step(QStringLiteral("sync drafts"));
    if (const Result<void> synced = syncFileSystem(draftsDir_, tmpDir); !synced.ok()) {
        out.assign(drafts.size(), synced.error());
        return out;  // the drafts remove themselves
    }
    for (const std::unique_ptr<MailDraft>& draft : drafts) {
        const QString newPath = newDir + u'/' + draft->name_;
        step(QStringLiteral("move into new/"));
        if (draft->fd_ >= 0 || draft->tmpPath_.isEmpty()) {
            out.push_back(Error{QStringLiteral("the mail was not finished")});
        } else if (::rename(nativePath(draft->tmpPath_).constData(),
                            nativePath(newPath).constData()) != 0) {
            out.push_back(Error{QStringLiteral("%1 cannot be moved into %2: %3")
                                    .arg(QDir::toNativeSeparators(draft->tmpPath_),
                                         QDir::toNativeSeparators(newDir), errnoText(errno))});
        } else {
            draft->tmpPath_.clear();
            out.push_back(newPath);
        }
    }
    // Only once their names in new/ are on disk may the server forget the mails.
    step(QStringLiteral("sync new/"));
    if (!syncDirectory(newDir)) {
        const Error failed{QStringLiteral("%1 cannot be made durable: %2")
                               .arg(QDir::toNativeSeparators(newDir), errnoText(errno))};
        for (Result<QString>& path : out) {
            if (path.ok()) {
                ::unlink(nativePath(path.value()).constData());
            }
            path = failed;
        }
    }
    return out;
}

QString MailFolder::analysedPath(const QString& path) const {
    return part("cur") + u'/' + QFileInfo(path).fileName();
}

bool MailFolder::markAnalysed(const QString& path) const {
    // Only a regular file that lies in new/ itself moves. Told by the identity of the folder it
    // lies in, not by resolving both paths: that cost a readlink for every part of each path,
    // for every mail of a poll.
    const QByteArray native = nativePath(path);
    struct stat file {};
    struct stat folder {};
    struct stat fresh {};
    if (::lstat(native.constData(), &file) != 0 || !S_ISREG(file.st_mode) ||
        ::stat(nativePath(QFileInfo(path).path()).constData(), &folder) != 0 ||
        ::stat(nativePath(part("new")).constData(), &fresh) != 0 || folder.st_dev != fresh.st_dev ||
        folder.st_ino != fresh.st_ino) {
        return false;
    }
    return ::rename(native.constData(), nativePath(analysedPath(path)).constData()) == 0;
}

int MailFolder::purgeAnalysed() const {
    int removed = 0;
    QDir cur(part("cur"));
    for (const QString& name : cur.entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        removed += cur.remove(name) ? 1 : 0;
    }
    // Files at the top are nobody's: the fetch writes only into the parts.
    QDir top(root_);
    for (const QString& name : top.entryList(QDir::Files | QDir::System)) {
        removed += top.remove(name) ? 1 : 0;
    }
    return removed;
}

}  // namespace kervo

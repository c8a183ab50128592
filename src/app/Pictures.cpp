#include "app/Pictures.h"

#include <sys/stat.h>

#include <QFile>
#include <QFileInfo>
#include <QImageReader>

#include "app/ProblemLog.h"

namespace kervo {

namespace {

// The file a picture path names: written with backslashes, it may be meant with slashes.
QString pictureFile(const QString& path) {
    QString actual = path;
    if (!QFileInfo::exists(actual) && path.contains(u'\\')) {
        QString slashed = path;
        slashed.replace(u'\\', u'/');
        if (QFileInfo::exists(slashed)) {
            actual = slashed;
        }
    }
    return actual;
}

// What tells one version of a file from another: a file replaced or rewritten differs in one of
// these.
PictureSource::FileStamp stampOf(const QString& file) {
    struct stat info {};
    if (::stat(QFile::encodeName(file).constData(), &info) != 0) {
        return {};
    }
    return {static_cast<quint64>(info.st_dev), static_cast<quint64>(info.st_ino),
            static_cast<qint64>(info.st_size),
            static_cast<qint64>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec,
            static_cast<qint64>(info.st_ctim.tv_sec) * 1'000'000'000 + info.st_ctim.tv_nsec};
}

}  // namespace

Result<QImage> loadPicture(const QString& path) {
    if (path.isEmpty()) {
        return QImage();
    }
    const QString actual = pictureFile(path);
    if (!QFileInfo::exists(actual)) {
        return Error{QStringLiteral("picture file not found: %1").arg(path)};
    }
    QImageReader reader(actual);
    reader.setAutoTransform(false);
    QImage image = reader.read();
    if (image.isNull()) {
        return Error{QStringLiteral("cannot read picture %1: %2").arg(path, reader.errorString())};
    }
    return readyToPaint(image);
}

QImage readyToPaint(const QImage& picture) {
    if (picture.isNull()) {
        return picture;
    }
    // A picture already in the format comes back as it is, without a copy of its pixels.
    return picture.convertToFormat(picture.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                             : QImage::Format_RGB32);
}

QImage PictureSource::load(const QString& path, const QString& use) {
    // Decoded again only when the file changed: an alarm on every report of a big poll would
    // otherwise decode the same picture thousands of times on the interface thread.
    const FileStamp stamp = path.isEmpty() ? FileStamp{} : stampOf(pictureFile(path));
    if (const auto known = decoded_.constFind(path);
        known != decoded_.cend() && stamp.inode != 0 && known->stamp == stamp) {
        return known->image;
    }
    Result<QImage> picture = loadPicture(path);
    if (picture.ok()) {
        failing_.remove(path);
        if (stamp.inode != 0) {
            decoded_.insert(path, {stamp, picture.value()});
        }
        return std::move(picture).value();
    }
    decoded_.remove(path);
    if (!failing_.contains(path)) {
        failing_.insert(path);
        log_.report(
            QStringLiteral("%1 shown without its picture: %2").arg(use, picture.error().message));
    }
    return QImage();
}

}  // namespace kervo

#include "app/Pictures.h"

#include <QFileInfo>
#include <QImageReader>

namespace kervo {

Result<QImage> loadPicture(const QString& path) {
    if (path.isEmpty()) {
        return QImage();
    }
    QString actual = path;
    if (!QFileInfo::exists(actual) && path.contains(u'\\')) {
        QString slashed = path;
        slashed.replace(u'\\', u'/');
        if (QFileInfo::exists(slashed)) {
            actual = slashed;
        }
    }
    if (!QFileInfo::exists(actual)) {
        return Error{QStringLiteral("picture file not found: %1").arg(path)};
    }
    QImageReader reader(actual);
    reader.setAutoTransform(false);
    QImage image = reader.read();
    if (image.isNull()) {
        return Error{QStringLiteral("cannot read picture %1: %2").arg(path, reader.errorString())};
    }
    return image;
}

}  // namespace kervo

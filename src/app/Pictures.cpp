#include "app/Pictures.h"

#include <QFileInfo>
#include <QImageReader>

namespace kervo {

PictureLoad loadPicture(const QString& path) {
    PictureLoad result;
    if (path.isEmpty()) {
        return result;
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
        result.error = QStringLiteral("picture file not found: %1").arg(path);
        return result;
    }
    QImageReader reader(actual);
    reader.setAutoTransform(false);
    result.image = reader.read();
    if (result.image.isNull()) {
        result.error = QStringLiteral("cannot read picture %1: %2").arg(path, reader.errorString());
    }
    return result;
}

}  // namespace kervo

#pragma once

#include <QImage>
#include <QString>

namespace kervo {

struct PictureLoad {
    QImage image;   // null for an empty path or a failure
    QString error;  // empty on success
    bool ok() const { return error.isEmpty(); }
};

// Loads a picture file at its own size. An empty path gives no picture and is no error. Paths
// written for the old platform ("img\back.gif") are tried with forward slashes too; relative
// paths resolve against the current directory.
PictureLoad loadPicture(const QString& path);

}  // namespace kervo

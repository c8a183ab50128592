#pragma once

#include <QImage>
#include <QString>

#include "app/Result.h"

namespace kervo {

// Loads a picture file at its own size. An empty path gives a null picture and is no error.
// Paths written with backslashes ("img\back.gif", as the settings files were first written)
// are tried with forward slashes too; relative paths resolve against the current directory.
Result<QImage> loadPicture(const QString& path);

}  // namespace kervo

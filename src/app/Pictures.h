#pragma once

#include <QImage>
#include <QSet>
#include <QString>

#include "app/Result.h"

namespace kervo {

class ProblemLog;

// Loads a picture file at its own size. An empty path gives no picture (a null image) and is no
// error. Paths written with backslashes ("img\back.gif") are tried with forward slashes too.
Result<QImage> loadPicture(const QString& path);

// The pictures the window loads again and again while it runs (at every blink, every alarm and
// every reset). A picture that cannot be loaded leaves the window without it rather than stopping
// anything, and is told to the log once, not at every blink, until it loads again.
class PictureSource {
  public:
    explicit PictureSource(ProblemLog& log) : log_(log) {}

    // The picture, or a null image when it cannot be loaded; `use` says what it was for.
    QImage load(const QString& path, const QString& use);

  private:
    ProblemLog& log_;
    QSet<QString> failing_;
};

}  // namespace kervo

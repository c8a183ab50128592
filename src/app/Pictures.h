#pragma once

#include <QHash>
#include <QImage>
#include <QSet>
#include <QString>

#include "app/Result.h"

namespace kervo {

class ProblemLog;

// Loads a picture file at its own size. An empty path gives no picture (a null image) and is no
// error. Paths written with backslashes ("img\back.gif") are tried with forward slashes too.
Result<QImage> loadPicture(const QString& path);

// The picture in a format the painter blends as it stands. Any other (a PNG's straight alpha, a
// palette) is converted again at every paint, for a large picture on a pool of threads that the
// window then waits for while the poll's threads hold the processor.
QImage readyToPaint(const QImage& picture);

// The pictures the window loads again and again while it runs (at every blink, every alarm and
// every reset). A picture that cannot be loaded leaves the window without it rather than stopping
// anything, and is told to the log once, not at every blink, until it loads again.
class PictureSource {
  public:
    explicit PictureSource(ProblemLog& log) : log_(log) {}

    // The picture, or a null image when it cannot be loaded; `use` says what it was for. A file
    // replaced or rewritten while the monitor runs is shown as it is now.
    QImage load(const QString& path, const QString& use);

    struct FileStamp {
        quint64 device = 0;
        quint64 inode = 0;  // 0: no file
        qint64 size = 0;
        qint64 modifiedNs = 0;
        qint64 changedNs = 0;
        bool operator==(const FileStamp&) const = default;
    };

  private:
    struct Decoded {
        FileStamp stamp;
        QImage image;
    };

    ProblemLog& log_;
    QSet<QString> failing_;
    QHash<QString, Decoded> decoded_;  // the few pictures of the settings, by path
};

}  // namespace kervo

#pragma once

#include <QColor>
#include <QtGlobal>

namespace kervo {

// A 24-bit colour stored as r + 256*g + 256*256*b, the form the settings and the drawing share.
using Rgb = quint32;

constexpr Rgb rgb(int r, int g, int b) {
    return static_cast<Rgb>(r & 0xff) | (static_cast<Rgb>(g & 0xff) << 8) |
           (static_cast<Rgb>(b & 0xff) << 16);
}

inline QColor toQColor(Rgb c) {
    return QColor(static_cast<int>(c & 0xff), static_cast<int>((c >> 8) & 0xff),
                  static_cast<int>((c >> 16) & 0xff));
}

}  // namespace kervo

#pragma once

#include <QImage>
#include <QRect>
#include <QWidget>
#include <stdexcept>

namespace kervo::test {

// A control of a window by its design name; throws so that a missing control fails the test
// with its name rather than crashing it.
template <typename T = QWidget>
T* control(const QObject& window, const QString& name) {
    T* found = window.findChild<T*>(name);
    if (found == nullptr) {
        throw std::runtime_error("no control " + name.toStdString());
    }
    return found;
}

// The box around every pixel that differs from the background colour; empty when none does.
inline QRect inkBounds(const QImage& image, const QColor& background) {
    QRect bounds;
    const QImage img = image.convertToFormat(QImage::Format_RGB32);
    for (int y = 0; y < img.height(); ++y) {
        for (int x = 0; x < img.width(); ++x) {
            if (img.pixelColor(x, y) != background) {
                bounds |= QRect(x, y, 1, 1);
            }
        }
    }
    return bounds;
}

// The widget drawn over a plain background, so that a transparent control shows only its ink.
inline QImage renderOn(QWidget& widget, const QColor& background) {
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(background);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

}  // namespace kervo::test

#include "ui/PictureBox.h"

#include <QMouseEvent>
#include <QPainter>

namespace kervo {

PictureBox::PictureBox(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureBox::setImage(const QImage& image) {
    image_ = image;
    update();
}

void PictureBox::setBackground(const QColor& colour) {
    background_ = colour;
    update();
}

void PictureBox::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), background_);
    if (!image_.isNull()) {
        painter.drawImage(0, 0, image_);
    }
}

void PictureBox::mousePressEvent(QMouseEvent* event) {
    click_.press(event);
}

void PictureBox::mouseReleaseEvent(QMouseEvent* event) {
    if (click_.release(event, rect())) {
        Q_EMIT clicked();
    }
}

void PictureBox::mouseDoubleClickEvent(QMouseEvent* event) {
    // One click per double click: a dial starts its console once.
    event->accept();
}

}  // namespace kervo

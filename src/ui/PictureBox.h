#pragma once

#include <QColor>
#include <QImage>
#include <QWidget>

#include "ui/ClickTracker.h"

namespace kervo {

// A picture box: its background colour, then its picture at its own size from the top-left
// corner, cut to the box. Like a label it takes every press over its box.
class PictureBox : public QWidget {
    Q_OBJECT
  public:
    explicit PictureBox(QWidget* parent = nullptr);

    void setImage(const QImage& image);
    const QImage& image() const { return image_; }
    void setBackground(const QColor& colour);

  Q_SIGNALS:
    // A left-button click: pressed and released again inside the box.
    void clicked();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    QImage image_;
    QColor background_ = Qt::white;
    ClickTracker click_;
};

}  // namespace kervo

#pragma once

#include <QMouseEvent>
#include <QRect>

namespace kervo {

// A click as the window's controls know it: the left button pressed on the control and released
// over it again. Other buttons are taken but click nothing.
class ClickTracker {
  public:
    void press(QMouseEvent* event) {
        event->accept();
        if (event->button() == Qt::LeftButton) {
            leftPressed_ = true;
        }
    }

    // True when this release completes a click inside box.
    bool release(QMouseEvent* event, const QRect& box) {
        event->accept();
        if (event->button() != Qt::LeftButton || !leftPressed_) {
            return false;
        }
        leftPressed_ = false;
        return box.contains(event->position().toPoint());
    }

  private:
    bool leftPressed_ = false;
};

}  // namespace kervo

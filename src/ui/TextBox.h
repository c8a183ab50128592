#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

#include "ui/ClickTracker.h"

namespace kervo {

// A label as the window was designed with: plain text only (an ampersand is an ampersand),
// left-aligned, wrapped at word boundaries, every CR LF starting a new line, cut off at the
// lower edge. Transparent by default; an opaque box fills itself first. The whole box takes the
// mouse, so a press on it never reaches the window beneath.
class TextBox : public QWidget {
    Q_OBJECT
  public:
    explicit TextBox(QWidget* parent = nullptr);

    void setText(const QString& text);
    const QString& text() const { return text_; }

    void setOpaque(const QColor& background);
    void setTransparent();
    bool isOpaque() const { return opaque_; }
    void setTextColour(const QColor& colour);

    // The text with its line ends turned into the line separators the layout understands: CR LF,
    // a lone CR and a lone LF each count as one line end.
    static QString withLineSeparators(const QString& text);

  Q_SIGNALS:
    // A left-button click: pressed and released again inside the box.
    void clicked();

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

  private:
    QString text_;
    bool opaque_ = false;
    ClickTracker click_;
};

}  // namespace kervo

#pragma once

#include <QString>
#include <QWidget>

class QPushButton;

namespace kervo {

class TextBox;

// The window that shows the whole text of the last alarm: the rule's message, then the report.
// A plain top-level window of its own, never owned by the main window, so the two are moved,
// minimised and closed independently. It does nothing itself: its button is decoration and
// closing it only tells whoever keeps it.
class MailBodyWindow : public QWidget {
    Q_OBJECT
  public:
    static constexpr int kClientWidth = 624;
    static constexpr int kClientHeight = 670;

    MailBodyWindow();

    void setText(const QString& text);
    QString text() const;

  Q_SIGNALS:
    // The operator closed the window with its close control.
    void closed();

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    QPushButton* backButton_;
    TextBox* bodyText_;
};

}  // namespace kervo

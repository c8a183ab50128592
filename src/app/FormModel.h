#pragma once

#include <QImage>
#include <QObject>
#include <QPointF>
#include <QSizeF>
#include <QString>
#include <array>

#include "app/Colour.h"
#include "app/MonitorState.h"

namespace kervo {

enum class WindowState { Normal, Minimised, Maximised };

// The labels whose text the handlers write.
enum class FormLabel { Label1, Label2, Label3, Label4, Label11 };

// A dial: its picture and the layer that holds the hands. The layer outlives repaints; a clear
// wipes it and leaves the picture alone.
struct DialModel {
    bool visible = false;
    QImage picture;  // drawn at its own size from the top-left corner; null = no picture
    QImage hands;    // transparent layer of the dial's full size
    QString caption;
};

enum class MailBodyPresence { Absent, Hidden, Shown };

// Everything the main window and the mail-body window show, held apart from any widget so that
// every handler can run and be checked without a display. The widgets only mirror it.
class FormModel : public QObject {
    Q_OBJECT
  public:
    // Dial box size in twips and in pixels at 15 twips a pixel.
    static constexpr int kTwipsPerPixel = 15;
    static constexpr int kDialTwips = 1455;
    static constexpr int kDialPixels = kDialTwips / kTwipsPerPixel;
    // The most of a text any box shows: far more than fills the largest box, so that a report of
    // many megabytes costs the window no more than one that fills it.
    static constexpr qsizetype kShownTextLimit = 16 * 1024;

    explicit FormModel(QObject* parent = nullptr);

    // window
    void setBackgroundPicture(const QImage& picture);
    void setBackgroundColour(Rgb colour);
    void setWindowState(WindowState state);
    // the widget tells the model when the operator changed the state through the system
    void noteWindowState(WindowState state);
    const QImage& backgroundPicture() const { return backgroundPicture_; }
    Rgb backgroundColour() const { return backgroundColour_; }
    WindowState windowState() const { return windowState_; }

    // labels; texts are kept display-safe
    void setLabelText(FormLabel label, const QString& text);
    QString labelText(FormLabel label) const;
    void setResetLabelVisible(bool visible);
    bool resetLabelVisible() const { return resetLabelVisible_; }

    // dials
    void setDialVisible(int index, bool visible);
    void setDialPicture(int index, const QImage& picture);
    void setDialCaption(int index, const QString& caption);
    QSizeF dialSizeTwips(int index) const;
    void clearDial(int index);
    // A one-pixel solid line between two points given in twips from the dial's top-left corner.
    void drawDialLine(int index, QPointF fromTwips, QPointF toTwips, Rgb colour);
    const DialModel& dial(int index) const;
    // The dial as it looks: picture, then hands, on the dial's background colour.
    QImage renderDial(int index) const;

    // mail-body window
    void setMailBodyText(const QString& text);  // creates the window hidden when absent
    void showMailBody();                        // creates it empty when absent, shows, raises
    void closeMailBody();                       // the operator closed it: window and text go
    MailBodyPresence mailBodyPresence() const { return mailBodyPresence_; }
    const QString& mailBodyText() const { return mailBodyText_; }

    // the system window colour behind a dial's picture
    static constexpr Rgb kDialBackground = rgb(255, 255, 255);

  Q_SIGNALS:
    void backgroundChanged();
    void windowStateRequested(kervo::WindowState state);
    void labelChanged(kervo::FormLabel label);
    void resetLabelVisibleChanged(bool visible);
    void dialChanged(int index);
    void mailBodyChanged();
    void mailBodyShowRequested();

  private:
    DialModel& dialAt(int index);

    QImage backgroundPicture_;
    Rgb backgroundColour_ = rgb(255, 255, 255);
    WindowState windowState_ = WindowState::Normal;
    std::array<QString, 5> labels_{};
    bool resetLabelVisible_ = false;
    std::array<DialModel, kDialCount> dials_{};
    MailBodyPresence mailBodyPresence_ = MailBodyPresence::Absent;
    QString mailBodyText_;
};

}  // namespace kervo

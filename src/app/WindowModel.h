#pragma once

#include <QImage>
#include <QObject>
#include <QPointF>
#include <QString>
#include <array>

#include "app/Colour.h"

namespace kervo {

enum class WindowState { Normal, Minimised, Maximised };

constexpr int kDialCount = 12;

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
// every rule can run and be checked without a display. The widgets only mirror it. Lengths are
// pixels of the window's client area.
class WindowModel : public QObject {
    Q_OBJECT
  public:
    static constexpr int kDialSize = 97;  // a dial's box, square
    // The most of a text any box shows: far more than fills the largest box, so that a report of
    // many megabytes costs the window no more than one that fills it.
    static constexpr qsizetype kShownTextLimit = 16 * 1024;
    // Behind a dial's picture, where the picture does not reach.
    static constexpr Rgb kDialBackground = rgb(255, 255, 255);

    explicit WindowModel(QObject* parent = nullptr);

    // the window
    void setBackgroundPicture(const QImage& picture);
    void setBackgroundColour(Rgb colour);
    const QImage& backgroundPicture() const { return backgroundPicture_; }
    Rgb backgroundColour() const { return backgroundColour_; }
    void setWindowState(WindowState state);
    // The widget tells the model when the operator changed the state through the desktop.
    void noteWindowState(WindowState state);
    WindowState windowState() const { return windowState_; }

    // The texts of the window. Each is kept display-safe and cut to kShownTextLimit.
    void setAlarmSubject(const QString& text);  // the subject of the report that raised the alarm
    void setAlarmReport(const QString& text);   // its body; a click opens the mail-body window
    void setAlarmMessage(const QString& text);  // the message of the rule it matched
    void setClock(const QString& text);
    void setStatusNotice(const QString& text);
    const QString& alarmSubject() const { return alarmSubject_; }
    const QString& alarmReport() const { return alarmReport_; }
    const QString& alarmMessage() const { return alarmMessage_; }
    const QString& clock() const { return clock_; }
    const QString& statusNotice() const { return statusNotice_; }
    void setResetAlarmVisible(bool visible);
    bool resetAlarmVisible() const { return resetAlarmVisible_; }

    // The dials, 0 to kDialCount - 1; other indexes are ignored.
    void setDialVisible(int index, bool visible);
    void setDialPicture(int index, const QImage& picture);
    void setDialCaption(int index, const QString& caption);
    void clearDial(int index);
    // A one-pixel solid line between two points of the dial, from its top-left corner.
    void drawDialLine(int index, QPointF from, QPointF to, Rgb colour);
    const DialModel& dial(int index) const;
    // The dial as it looks: picture, then hands, on the dial's background colour.
    QImage renderDial(int index) const;

    // The mail-body window.
    void setMailBodyText(const QString& text);  // creates the window hidden when absent
    void showMailBody();                        // creates it empty when absent, shows, raises
    void closeMailBody();                       // the operator closed it: window and text go
    MailBodyPresence mailBodyPresence() const { return mailBodyPresence_; }
    const QString& mailBodyText() const { return mailBodyText_; }

  Q_SIGNALS:
    void backgroundChanged();
    void windowStateRequested(kervo::WindowState state);
    void alarmSubjectChanged(const QString& text);
    void alarmReportChanged(const QString& text);
    void alarmMessageChanged(const QString& text);
    void clockChanged(const QString& text);
    void statusNoticeChanged(const QString& text);
    void resetAlarmVisibleChanged(bool visible);
    void dialChanged(int index);
    void mailBodyChanged();
    void mailBodyShowRequested();

  private:
    DialModel* dialAt(int index);

    QImage backgroundPicture_;
    Rgb backgroundColour_ = rgb(255, 255, 255);
    WindowState windowState_ = WindowState::Normal;
    QString alarmSubject_;
    QString alarmReport_;
    QString alarmMessage_;
    QString clock_;
    QString statusNotice_;
    bool resetAlarmVisible_ = false;
    std::array<DialModel, kDialCount> dials_{};
    MailBodyPresence mailBodyPresence_ = MailBodyPresence::Absent;
    QString mailBodyText_;
};

}  // namespace kervo

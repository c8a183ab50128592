#pragma once

#include <QObject>
#include <QString>
#include <QTimer>
#include <array>

#include "app/WindowModel.h"

namespace kervo {

class Beeper;
class PictureSource;
class ProblemLog;

// The alarm. A report that matches a rule raises it; from then on the window stays in the
// operator's face, maximised and blinking once a second between the alarm look (red, the alarm
// background, a beep) and the calm look, until the operator resets it.
class Alarm : public QObject {
    Q_OBJECT
  public:
    // The pictures of the two looks and of the dials, as kervo.ini names them.
    struct Pictures {
        QString background;
        QString alarmBackground;
        QString dial;
        QString alarmDial;
    };

    Alarm(WindowModel& window, PictureSource& pictures, Beeper& beeper, ProblemLog& log,
          Pictures paths, QObject* parent = nullptr);

    // Shows the report's texts and the rule's message, puts the alarm picture on the report's
    // dial and starts the blink; a blink already running keeps its rhythm.
    void raise(int dial, const QString& serverName, const QString& message, const QString& subject,
               const QString& body);
    // The dial of the report analysed last, which the reset puts back as well.
    void noteReportDial(int dial) { lastReportDial_ = dial; }
    // One blink, once a second while the alarm runs.
    void onBlinkTick();
    // The operator's reset: the blink stops and the window and every alarmed dial get their
    // normal look back. The report's texts stay until the next alarm replaces them.
    void reset();

    bool isBlinking() const { return blinkTimer_.isActive(); }

  private:
    WindowModel& window_;
    PictureSource& pictures_;
    Beeper& beeper_;
    ProblemLog& log_;
    const Pictures paths_;
    QTimer blinkTimer_;
    // Which look the next blink shows. It survives the reset: an alarm stopped after an odd
    // number of blinks makes the next one begin with the calm look.
    bool alarmLookNext_ = true;
    std::array<bool, kDialCount> alarmedDials_{};
    int lastReportDial_ = 0;
};

}  // namespace kervo

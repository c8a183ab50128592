#include "alarm/Alarm.h"

#include "app/Pictures.h"
#include "app/ProblemLog.h"
#include "app/Seams.h"

namespace kervo {

namespace {

constexpr Rgb kAlarmColour = rgb(255, 0, 0);
constexpr Rgb kCalmColour = rgb(255, 255, 255);
constexpr int kBlinkMs = 1000;
// A subject is written to the log whole up to this length; a mail may carry a huge one.
constexpr qsizetype kLoggedSubjectLimit = 1000;

}  // namespace

Alarm::Alarm(WindowModel& window, PictureSource& pictures, Beeper& beeper, ProblemLog& log,
             Pictures paths, QObject* parent)
    : QObject(parent),
      window_(window),
      pictures_(pictures),
      beeper_(beeper),
      log_(log),
      paths_(std::move(paths)) {
    blinkTimer_.setInterval(kBlinkMs);
    connect(&blinkTimer_, &QTimer::timeout, this, &Alarm::onBlinkTick);
}

void Alarm::raise(int dial, const QString& serverName, const QString& message,
                  const QString& subject, const QString& body) {
    // The log keeps the record of every alarm, whatever the window shows later.
    log_.report(QStringLiteral("alarm on dial %1 (%2): %3 - %4")
                    .arg(dial)
                    .arg(serverName, message, subject.left(kLoggedSubjectLimit)));
    if (!blinkTimer_.isActive()) {
        blinkTimer_.start();
    }
    // Only what a box can show is copied: a report may be many megabytes long.
    const QString shownBody = body.left(WindowModel::kShownTextLimit);
    window_.setAlarmSubject(subject);
    window_.setAlarmReport(shownBody);
    window_.setAlarmMessage(message);
    window_.setMailBodyText(message + QStringLiteral("\r\n") + shownBody);
    // The alarm itself must never be lost because its picture could not be read.
    const QImage alarmDial = pictures_.load(paths_.alarmDial, QStringLiteral("the alarmed dial"));
    if (!alarmDial.isNull() || paths_.alarmDial.isEmpty()) {
        window_.setDialPicture(dial, alarmDial);
    }
    if (dial >= 0 && dial < kDialCount) {
        alarmedDials_[static_cast<size_t>(dial)] = true;
    }
}

void Alarm::onBlinkTick() {
    // The window comes forward when the alarm starts, and again whenever the operator has
    // minimised it, so that the alarm cannot be minimised away. Not at every tick: a report
    // being read or a console opened from a dial keeps its place above the window.
    if (window_.windowState() != WindowState::Maximised) {
        window_.setWindowState(WindowState::Maximised);
    }
    window_.setResetAlarmVisible(true);
    if (alarmLookNext_) {
        window_.setBackgroundColour(kAlarmColour);
        window_.setBackgroundPicture(
            pictures_.load(paths_.alarmBackground, QStringLiteral("the alarm's blink")));
        beeper_.beep();
    } else {
        window_.setBackgroundColour(kCalmColour);
        window_.setBackgroundPicture(
            pictures_.load(paths_.background, QStringLiteral("the alarm's blink")));
    }
    alarmLookNext_ = !alarmLookNext_;
}

void Alarm::reset() {
    blinkTimer_.stop();
    window_.setResetAlarmVisible(false);
    window_.setBackgroundColour(kCalmColour);
    // A missing normal picture leaves the window bare rather than stuck on the alarm picture.
    window_.setBackgroundPicture(
        pictures_.load(paths_.background, QStringLiteral("the window after the alarm")));
    window_.setWindowState(WindowState::Normal);

    // Every dial that took an alarm picture goes back, not only the one analysed last, so that
    // no dial keeps announcing an alarm the operator has already dealt with.
    const QImage dialFace = pictures_.load(paths_.dial, QStringLiteral("the dial after the alarm"));
    for (int i = 0; i < kDialCount; ++i) {
        if (i == lastReportDial_ || alarmedDials_[static_cast<size_t>(i)]) {
            window_.setDialPicture(i, dialFace);
        }
    }
    alarmedDials_.fill(false);
}

}  // namespace kervo

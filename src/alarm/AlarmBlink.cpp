#include "alarm/AlarmBlink.h"

#include "app/MonitorContext.h"
#include "app/Pictures.h"

namespace kervo {

namespace {

// A tick loads its picture afresh every second. When that fails the blink goes on without the
// picture, and the failure is logged once per alarm instead of once a second; a path that loads
// again is forgotten, so that a later failure is reported anew.
QImage blinkPicture(MonitorContext& context, const QString& path) {
    const Result<QImage> picture = loadPicture(path);
    QStringList& reported = context.state.blinkFailuresReported;
    if (picture.ok()) {
        reported.removeAll(path);
        return picture.value();
    }
    if (!reported.contains(path)) {
        reported.append(path);
        context.log.report(
            QStringLiteral("alarm blinks without its picture: %1").arg(picture.error().message));
    }
    return QImage();
}

// The reset runs once per operator action, so every failure there is worth a line.
QImage resetPicture(MonitorContext& context, const QString& path) {
    const Result<QImage> picture = loadPicture(path);
    if (!picture.ok()) {
        context.log.report(
            QStringLiteral("alarm reset without picture: %1").arg(picture.error().message));
        return QImage();
    }
    return picture.value();
}

}  // namespace

void Timer2_Timer(MonitorContext& context) {
    MonitorState& state = context.state;
    FormModel& form = context.form;
    // The window comes forward when the alarm starts, and again whenever the operator has
    // minimised it, so that the alarm cannot be minimised away. Not at every tick: a report
    // being read or a console opened from a dial keeps its place above the window.
    if (form.windowState() != WindowState::Maximised) {
        form.setWindowState(WindowState::Maximised);
    }
    form.setResetLabelVisible(true);
    if (state.blinkPhase == 1) {
        form.setBackgroundColour(state.alarmColour);
        form.setBackgroundPicture(blinkPicture(context, state.alarmBackgroundPicture));
        context.beeper.beep();
    } else {
        form.setBackgroundColour(state.calmColour);
        form.setBackgroundPicture(blinkPicture(context, state.backgroundPicture));
    }
    // The phase survives the reset: an alarm stopped after an odd number of ticks makes the
    // next one begin calm.
    state.blinkPhase = -state.blinkPhase;
}

void alarm_reset_Click(MonitorContext& context) {
    MonitorState& state = context.state;
    FormModel& form = context.form;
    context.timer2.stop();
    form.setResetLabelVisible(false);
    form.setBackgroundColour(rgb(255, 255, 255));
    // A missing normal picture leaves the window bare rather than stuck on the alarm picture.
    form.setBackgroundPicture(resetPicture(context, state.backgroundPicture));
    form.setWindowState(WindowState::Normal);

    // Every dial that took an alarm picture goes back, not only the one analysed last, so that
    // no dial keeps announcing an alarm the operator has already dealt with.
    const QImage dialFace = resetPicture(context, state.dialPicture);
    for (int i = 0; i < kDialCount; ++i) {
        if (i == state.currentServer || state.dialAlarmed[static_cast<size_t>(i)]) {
            form.setDialPicture(i, dialFace);
        }
    }
    state.dialAlarmed.fill(false);
    state.blinkFailuresReported.clear();
}

void Label10_Click(MonitorContext& context) {
    alarm_reset_Click(context);
}

}  // namespace kervo

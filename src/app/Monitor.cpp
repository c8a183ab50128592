#include "app/Monitor.h"

#include "alarm/AlarmBlink.h"
#include "dials/ConsoleLaunch.h"
#include "mail/MailCheck.h"
#include "mail/PollTimer.h"
#include "settings/Settings.h"

namespace kervo {

Monitor::Monitor(FormModel& form, Mailbox& mailer, Seams seams, QString mailFolder, QObject* parent)
    : QObject(parent),
      context_{state_, form, timer1_, timer2_, seams.clock, seams.beeper, seams.starter, seams.log},
      mailer_(mailer),
      check_(new MailCheck(context_, mailer, std::move(mailFolder), this)),
      pollTimer_(new PollTimer(context_, *check_, mailer, this)) {
    connect(&timer1_, &QTimer::timeout, this, &Monitor::Timer1_Timer);
    connect(&timer2_, &QTimer::timeout, this, &Monitor::Timer2_Timer);
}

Monitor::~Monitor() = default;

std::optional<QString> Monitor::Form_Load(const QDir& settingsDir) {
    state_.pollToggle = -1;
    state_.mailer = &mailer_;
    timer1_.setInterval(30000);
    timer2_.setInterval(1000);
    timer2_.stop();
    state_.blinkPhase = 1;
    state_.alarmColour = rgb(255, 0, 0);
    state_.reportColour = rgb(0, 255, 0);
    state_.calmColour = rgb(255, 255, 255);
    state_.pollColour = rgb(90, 90, 90);
    // The rounded shape is the window's own business: it applies it when it is built.
    if (const std::optional<SettingsError> error = LoadSettings(context_, settingsDir)) {
        return error->toText();
    }
    // The poll timer only starts once the settings are known to be good.
    timer1_.start();
    // The first poll runs behind the window: it appears at once, the mail comes when it comes.
    check_->CheckMail();
    return std::nullopt;
}

void Monitor::Picture1_Click(int index) {
    kervo::Picture1_Click(context_, index);
}
void Monitor::Label10_Click() {
    kervo::Label10_Click(context_);
}
void Monitor::alarm_reset_Click() {
    kervo::alarm_reset_Click(context_);
}
void Monitor::Timer1_Timer() {
    pollTimer_->Timer1_Timer();
}
void Monitor::Timer2_Timer() {
    kervo::Timer2_Timer(context_);
}

}  // namespace kervo

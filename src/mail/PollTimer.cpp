#include "mail/PollTimer.h"

#include <QLocale>

#include "app/MonitorContext.h"
#include "mail/MailCheck.h"
#include "mail/Mailbox.h"

namespace kervo {

PollTimer::PollTimer(MonitorContext& context, MailCheck& check, Mailbox& mailer, QObject* parent)
    : QObject(parent), context_(context), check_(check), mailer_(mailer) {
    connect(&check_, &MailCheck::pollFinished, this, [this] {
        if (purgeAfterPoll_) {
            purgeAfterPoll_ = false;
            purge();
        }
    });
}

void PollTimer::Timer1_Timer() {
    MonitorState& state = context_.state;
    const QDateTime now = context_.clock.now();
    const QLocale locale;
    context_.form.setLabelText(FormLabel::Label4,
                               locale.toString(now.date(), QLocale::ShortFormat) + u' ' +
                                   now.time().toString(QStringLiteral("HH:mm:ss")));

    state.pollToggle = -state.pollToggle;
    if (state.pollToggle == 1) {
        check_.CheckMail();  // dropped when the last poll is still running
    }

    ++state.purgeCounter;
    if (static_cast<double>(state.purgeCounter) > state.purgeLimit.toNumber()) {
        state.purgeCounter = 0;
        // The purge belongs after this tick's poll; a poll still running finishes first.
        if (check_.isPolling()) {
            purgeAfterPoll_ = true;
        } else {
            purge();
        }
    }
}

void PollTimer::purge() {
    mailer_.purgeAnalysed();
}

}  // namespace kervo

#include "mail/PollTimer.h"

#include "app/ScreenTexts.h"
#include "app/Seams.h"
#include "app/WindowModel.h"
#include "mail/MailCheck.h"
#include "mail/Mailbox.h"

namespace kervo {

PollTimer::PollTimer(WindowModel& window, const Clock& clock, MailCheck& check, Mailbox& mailbox,
                     LooseValue purgeLimit, QObject* parent)
    : QObject(parent),
      window_(window),
      clock_(clock),
      check_(check),
      mailbox_(mailbox),
      purgeLimit_(std::move(purgeLimit)) {
    timer_.setInterval(kTickMs);
    connect(&timer_, &QTimer::timeout, this, &PollTimer::onTick);
    connect(&check_, &MailCheck::pollFinished, this, [this] {
        // Not between a fetch and the one that waited for it: the tick's poll may be that one.
        if (purgeAfterPoll_ && !check_.isPolling()) {
            purgeAfterPoll_ = false;
            purge();
        }
    });
}

void PollTimer::onTick() {
    window_.setClock(screen::clockText(clock_.now()));

    pollDue_ = !pollDue_;
    if (pollDue_) {
        (void)check_.start();  // refused, and told, while the last poll still runs
    }

    ++ticksSincePurge_;
    // Compared as numbers: a limit written as text or left empty counts as 0, every tick.
    if (static_cast<double>(ticksSincePurge_) > purgeLimit_.toNumber()) {
        ticksSincePurge_ = 0;
        // The purge belongs after this tick's poll; a fetch still running (and this tick's poll,
        // when it waits for that one) finishes first.
        if (check_.isPolling()) {
            purgeAfterPoll_ = true;
        } else {
            purge();
        }
    }
}

void PollTimer::purge() {
    mailbox_.purgeAnalysed();
}

}  // namespace kervo

#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include "app/LooseValue.h"

namespace kervo {

class Clock;
class MailCheck;
class Mailbox;
class WindowModel;

// The monitor's 30-second tick: the clock line on every tick, a poll on every second tick, and
// the purge of the analysed mail every purgeLimit + 1 ticks, after the tick's poll.
class PollTimer : public QObject {
    Q_OBJECT
  public:
    static constexpr int kTickMs = 30'000;

    // purgeLimit is line 5 of kervo.ini: the ticks between two purges, empty counting as 0.
    PollTimer(WindowModel& window, const Clock& clock, MailCheck& check, Mailbox& mailbox,
              LooseValue purgeLimit, QObject* parent = nullptr);

    // The first tick comes one interval from now.
    void start() { timer_.start(); }
    // No more ticks but the ones driven by hand, for a benchmark that drives them.
    void stop() { timer_.stop(); }
    void onTick();

  private:
    void purge();

    WindowModel& window_;
    const Clock& clock_;
    MailCheck& check_;
    Mailbox& mailbox_;
    const LooseValue purgeLimit_;
    QTimer timer_;
    // The start-up polls on its own, so the first tick polls again and the second does not.
    bool pollDue_ = false;
    long long ticksSincePurge_ = 0;
    bool purgeAfterPoll_ = false;
};

}  // namespace kervo

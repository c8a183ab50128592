#pragma once

#include <QObject>

namespace kervo {

struct MonitorContext;
class MailCheck;
class Mailbox;

// The 30-second tick: the clock label on every tick, a poll on every second tick, and the purge
// of analysed mail every purgeLimit + 1 ticks.
class PollTimer : public QObject {
    Q_OBJECT
  public:
    PollTimer(MonitorContext& context, MailCheck& check, Mailbox& mailer,
              QObject* parent = nullptr);

    void Timer1_Timer();

  private:
    void purge();

    MonitorContext& context_;
    MailCheck& check_;
    Mailbox& mailer_;
    bool purgeAfterPoll_ = false;
};

}  // namespace kervo

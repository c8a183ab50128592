#pragma once

#include <QDir>
#include <QObject>
#include <QString>
#include <QTimer>
#include <optional>

#include "app/FormModel.h"
#include "app/MonitorContext.h"
#include "app/MonitorState.h"

namespace kervo {

class MailCheck;
class Mailbox;
class PollTimer;

// The monitor as one running thing: its state, its two timers and the handlers, started by
// Form_Load. The window is a separate object that mirrors the FormModel and forwards clicks.
class Monitor : public QObject {
    Q_OBJECT
  public:
    struct Seams {
        Clock& clock;
        Beeper& beeper;
        ProcessStarter& starter;
        ProblemLog& log;
    };

    Monitor(FormModel& form, Mailbox& mailer, Seams seams, QString mailFolder,
            QObject* parent = nullptr);
    ~Monitor() override;

    // The start-up. On a settings error returns the message for the operator; nothing has been
    // started then and the caller ends the program.
    std::optional<QString> Form_Load(const QDir& settingsDir);

    void Picture1_Click(int index);
    void Label10_Click();
    void alarm_reset_Click();
    void Timer1_Timer();
    void Timer2_Timer();

    MonitorState& state() { return state_; }
    MonitorContext& context() { return context_; }
    MailCheck& mailCheck() { return *check_; }
    QTimer& timer1() { return timer1_; }
    QTimer& timer2() { return timer2_; }

  private:
    MonitorState state_;
    QTimer timer1_;
    QTimer timer2_;
    MonitorContext context_;
    Mailbox& mailer_;
    MailCheck* check_;
    PollTimer* pollTimer_;
};

}  // namespace kervo

#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QTimer>

#include "ScriptedMailer.h"
#include "app/FormModel.h"
#include "app/MonitorContext.h"
#include "mail/MailCheck.h"
#include "mail/PollTimer.h"

namespace kervo::test {

class FixedClock : public Clock {
  public:
    QDateTime time = QDateTime(QDate(2026, 12, 6), QTime(10, 20, 0));
    QDateTime now() const override { return time; }
};

class CountingBeeper : public Beeper {
  public:
    int beeps = 0;
    void beep() override { ++beeps; }
};

class NoStarter : public ProcessStarter {
  public:
    bool startDetached(const QString&, const QStringList&, QString*) override { return true; }
};

// A monitor's worth of state around one scripted mail component, with three servers and one
// rule, the way the start-up would have left it.
struct PollFixture : ::testing::Test {
    MonitorState state;
    FormModel form;
    QTimer timer1;
    QTimer timer2;
    FixedClock clock;
    CountingBeeper beeper;
    NoStarter starter;
    ProblemLog log{nullptr};
    MonitorContext context{state, form, timer1, timer2, clock, beeper, starter, log};
    ScriptedMailer mailer;
    MailCheck check{context, mailer, QStringLiteral("/var/lib/kervo-test/mail")};
    PollTimer pollTimer{context, check, mailer};

    PollFixture() {
        state.pollToggle = -1;
        state.blinkPhase = 1;
        state.alarmColour = rgb(255, 0, 0);
        state.reportColour = rgb(0, 255, 0);
        state.calmColour = rgb(255, 255, 255);
        state.pollColour = rgb(90, 90, 90);
        timer2.setInterval(1000);
        const char* names[] = {"default", "web01", "db01"};
        for (int i = 0; i < 3; ++i) {
            state.servers[i].name = LooseValue::fromText(QString::fromUtf8(names[i]));
            form.setDialVisible(i, true);
        }
        state.serverCount = 2;
        state.rules[1] = {LooseValue::fromText(QStringLiteral("R1")),
                          LooseValue::fromText(QStringLiteral("changed")),
                          LooseValue::fromText(QStringLiteral("/etc/passwd")),
                          QStringLiteral("passwd changed")};
        state.ruleCount = 1;
        state.mailServer = QStringLiteral("pop.example");
        state.mailUser = QStringLiteral("watch");
        state.mailPassword = QStringLiteral("secret");
    }

    // Lets the event loop run until the poll in flight has been analysed, bounded.
    bool waitForPoll(int ms = 5000) {
        QDeadlineTimer deadline(ms);
        while (check.isPolling() && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return !check.isPolling();
    }

    // How many pixels of the dial as shown carry the colour: a hand leaves dozens.
    int pixelsOf(int dial, Rgb colour) const {
        const QImage img = form.renderDial(dial);
        const QColor wanted = toQColor(colour);
        int n = 0;
        for (int y = 0; y < img.height(); ++y) {
            for (int x = 0; x < img.width(); ++x) {
                n += img.pixelColor(x, y) == wanted ? 1 : 0;
            }
        }
        return n;
    }
};

}  // namespace kervo::test

#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include "Monitor.h"
#include "ScriptedMailer.h"
#include "alarm/Alarm.h"
#include "dials/DialHands.h"
#include "mail/MailCheck.h"
#include "mail/PollTimer.h"
#include "support/MonitorFixture.h"

namespace kervo::test {

// A monitor with three servers and one rule around one scripted mail component, as the start-up
// leaves it once its first poll (of an empty mailbox) is over.
struct PollFixture : ::testing::Test, MonitorFixture {
    ScriptedMailer mailer;
    Monitor monitor{window, mailer, Monitor::Seams{clock, beeper, starter, log}};
    std::vector<QString> reports;  // the subjects of the reports shown, in order

    PollFixture() {
        Settings settings = settingsWith(
            {QStringLiteral("default"), QStringLiteral("web01"), QStringLiteral("db01")});
        addRule(settings, QStringLiteral("changed"), QStringLiteral("/etc/passwd"),
                QStringLiteral("passwd changed"));
        settings.mailServer = QStringLiteral("pop.example");
        settings.mailUser = QStringLiteral("watch");
        settings.mailPassword = QStringLiteral("secret");
        settings.purgeLimit = LooseValue::fromNumber(10);
        monitor.begin(std::move(settings), QImage(), QImage());
        EXPECT_TRUE(waitForPoll());
        QObject::connect(&check(), &MailCheck::reportRead,
                         [this](const QString& subject) { reports.push_back(subject); });
        mailer.calls.clear();
    }

    MailCheck& check() { return monitor.mailCheck(); }
    PollTimer& pollTimer() { return monitor.pollTimer(); }
    bool alarmRaised() { return monitor.alarm().isBlinking(); }

    // A fetch still held here would keep the worker, and with it the check's destructor,
    // waiting: it is let go, and a hold that had to run out fails the test.
    void TearDown() override {
        mailer.releaseAll();
        EXPECT_EQ(mailer.holdsExpired.load(), 0) << "a held fetch was never released";
    }

    // Lets the event loop run until the poll in flight has been handled, bounded.
    bool waitForPoll(int ms = 5000) {
        QDeadlineTimer deadline(ms);
        while (monitor.isPolling() && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return !monitor.isPolling();
    }

    // How many pixels of the dial as shown carry the colour: a hand leaves dozens.
    int pixelsOf(int dial, Rgb colour) const {
        return countPixels(window.renderDial(dial), colour);
    }
};

}  // namespace kervo::test

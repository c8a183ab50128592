#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

#include "ScriptedMailer.h"
#include "mail/MailCheck.h"
#include "mail/PollTimer.h"
#include "support/MonitorFixture.h"

namespace kervo::test {

// A monitor with three servers and one rule around one scripted mail component, the way the
// start-up would have left it, with the poll and the poll timer on top.
struct PollFixture : ::testing::Test, MonitorFixture {
    ScriptedMailer mailer;
    MailCheck check{context, mailer, QStringLiteral("/var/lib/kervo-test/mail")};
    PollTimer pollTimer{context, check, mailer};

    PollFixture() {
        setServers({QStringLiteral("default"), QStringLiteral("web01"), QStringLiteral("db01")});
        for (int i = 0; i < 3; ++i) {
            form.setDialVisible(i, true);
        }
        addRule(QStringLiteral("changed"), QStringLiteral("/etc/passwd"),
                QStringLiteral("passwd changed"));
        state.mailServer = QStringLiteral("pop.example");
        state.mailUser = QStringLiteral("watch");
        state.mailPassword = QStringLiteral("secret");
    }

    // A fetch still held here would keep the worker, and with it the check's destructor,
    // waiting: it is let go, and a hold that had to run out fails the test.
    void TearDown() override {
        mailer.releaseAll();
        EXPECT_EQ(mailer.holdsExpired.load(), 0) << "a held fetch was never released";
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
    int pixelsOf(int dial, Rgb colour) const { return countPixels(form.renderDial(dial), colour); }
};

}  // namespace kervo::test

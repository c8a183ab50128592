// The monitor with word of new mail between the ticks: the push started with the account, its
// callbacks from its own thread handled on the interface thread, and stopped before the monitor's
// parts go while it still calls back.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>
#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include "Monitor.h"
#include "alarm/Alarm.h"
#include "app/ScreenTexts.h"
#include "mail/MailCheck.h"
#include "mail/MailPush.h"
#include "mail/ScriptedMailer.h"
#include "support/MonitorFixture.h"
#include "support/Printing.h"

using namespace kervo;
using namespace Qt::StringLiterals;

namespace {

// A push the test fires by hand, each word from a thread of its own as the real one calls back;
// or, once chattering, one that keeps calling back, paced, until it is stopped.
class HandPush final : public MailPush {
  public:
    ~HandPush() override { endChatter(); }

    void start(const MailAccount& account, Listener listener) override {
        started = {account.server, account.user, account.password};
        listener_ = std::move(listener);
    }
    void stop() override {
        endChatter();
        ++stops;
    }

    void fire(const std::function<void(Listener&)>& word) {
        std::thread([&] { word(listener_); }).join();
    }
    void chatter() {
        chatter_ = std::thread([this] {
            std::unique_lock lock(mutex_);
            while (!ending_) {
                listener_.mailArrived();
                listener_.stateChanged({PushState::Kind::Reconnecting, 1, u"reset"_s});
                ++words;
                ending_changed_.wait_for(lock, std::chrono::milliseconds(1));
            }
        });
    }

    QStringList started;
    std::atomic<int> words{0};
    int stops = 0;

  private:
    void endChatter() {
        {
            std::lock_guard lock(mutex_);
            ending_ = true;
        }
        ending_changed_.notify_all();
        if (chatter_.joinable()) {
            chatter_.join();
        }
    }

    Listener listener_;
    std::mutex mutex_;
    std::condition_variable ending_changed_;
    bool ending_ = false;
    std::thread chatter_;
};

struct PushRun : test::MonitorFixture {
    test::ScriptedMailer mailer;
    HandPush push;
    std::unique_ptr<Monitor> monitor =
        std::make_unique<Monitor>(window, mailer, Monitor::Seams{clock, beeper, starter, log});

    PushRun() {
        Settings settings = test::settingsWith({u"default"_s, u"web01"_s});
        test::addRule(settings, u"changed"_s, u"/etc/passwd"_s, u"passwd changed"_s);
        settings.mailServer = u"imap.example"_s;
        settings.mailUser = u"watch"_s;
        settings.mailPassword = u"secret"_s;
        window.setStatusNotice(screen::noticeWhenWell());
        monitor->usePush(push);
        monitor->begin(std::move(settings), QImage(), QImage());
        EXPECT_TRUE(waitUntil([this] { return !monitor->isPolling(); }));
        mailer.calls.clear();
    }
    ~PushRun() { mailer.releaseAll(); }

    bool waitUntil(const std::function<bool()>& done) {
        QDeadlineTimer deadline(5000);
        while (!done() && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return done();
    }
};

struct WordCase {
    const char* name;
    std::function<void(MailPush::Listener&)> word;
    int fetches;
    QString notice;
};

using kervo::test::PrintTo;

struct PushWord : ::testing::TestWithParam<WordCase> {};

TEST_P(PushWord, fromThePushThread_handledOnTheInterfaceThread) {
    const WordCase& c = GetParam();
    PushRun run;
    EXPECT_EQ(run.push.started, (QStringList{u"imap.example"_s, u"watch"_s, u"secret"_s}));
    run.mailer.fetches.push_back({QStringList{u"a"_s}});
    run.mailer.mails[u"a"_s] = {u"web01 changed"_s, u"/etc/passwd"_s};
    bool offThread = false;
    QObject::connect(&run.window, &WindowModel::statusNoticeChanged,
                     [&] { offThread = offThread || QThread::currentThread() != qApp->thread(); });
    run.push.fire(c.word);
    QCoreApplication::processEvents();
    ASSERT_TRUE(run.waitUntil([&] { return !run.monitor->isPolling(); }));
    EXPECT_EQ(run.mailer.callsOf(u"fetchAll"_s).size(), size_t(c.fetches));
    EXPECT_EQ(run.monitor->alarm().isBlinking(), c.fetches > 0);
    EXPECT_EQ(run.window.statusNotice(), c.notice);
    EXPECT_FALSE(offThread) << "the window was changed from the push's thread";
}

const WordCase kWordCases[] = {
    {"mailArrived_reportFetchedAndAlarmed", [](auto& l) { l.mailArrived(); }, 1, u"Ver 1.3"_s},
    {"reconnecting_noticeShowsTheDelay",
     [](auto& l) {
         l.stateChanged({PushState::Kind::Reconnecting, 30, u"reset"_s});
     },
     0, u"IMAP再接続待ち 30秒"_s},
};
INSTANTIATE_TEST_SUITE_P(Monitor, PushWord, ::testing::ValuesIn(kWordCases), kervo::test::rowName);

TEST(PushWiring, monitorDestroyedWhileThePushCallsBack_pushStoppedFirstNothingRunsLate) {
    PushRun run;
    run.push.chatter();
    ASSERT_TRUE(run.waitUntil([&] { return run.push.words.load() > 20; }));
    run.monitor.reset();
    EXPECT_EQ(run.push.stops, 1);
    const int wordsAfter = run.push.words.load();
    const size_t callsAfter = run.mailer.calls.size();
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(run.push.words.load(), wordsAfter) << "the push still calls back";
    EXPECT_EQ(run.mailer.calls.size(), callsAfter) << "a word ran after the monitor went";
}

}  // namespace

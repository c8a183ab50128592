// The watcher that holds the mailbox in IDLE: against the scripted server for what a real one
// seldom does, and against a real Dovecot for a mail arriving and the server going away.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <condition_variable>
#include <functional>
#include <mutex>

#include "DovecotServer.h"
#include "FakeImapServer.h"
#include "mail/imap/CurlImapConnection.h"
#include "mail/imap/ImapIdleWatcher.h"
#include "mail/imap/ImapSession.h"

namespace kervo {
namespace {

using namespace Qt::StringLiterals;

using test::FakeImapServer;
using test::ImapFault;

// What the watcher told, in order, for the test thread to wait on.
class Heard {
  public:
    MailPush::Listener listener() {
        return {
            [this] { add([this] { ++arrivals_; }); },
            [this](const PushState& state) { add([this, state] { states_.push_back(state); }); }};
    }
    // Waits until the condition holds, looked at on every word from the watcher and every
    // 20 ms (it may also ask the server); false when it still does not after 15 s.
    bool waitUntil(const std::function<bool(const Heard&)>& condition) {
        std::unique_lock<std::mutex> held(lock_);
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(15);
        while (!condition(*this)) {
            if (std::chrono::steady_clock::now() >= end) {
                return false;
            }
            changed_.wait_for(held, std::chrono::milliseconds(20));
        }
        return true;
    }
    int arrivals() const { return arrivals_; }
    int count(PushState::Kind kind) const {
        return static_cast<int>(std::count_if(
            states_.begin(), states_.end(), [kind](const PushState& s) { return s.kind == kind; }));
    }
    // For a failure's message: every state and the arrivals, in order.
    std::string told() {
        const std::lock_guard<std::mutex> held(lock_);
        QString out = u"arrivals %1; states:"_s.arg(arrivals_);
        for (const PushState& s : states_) {
            out += u" [%1 %2s %3]"_s.arg(int(s.kind)).arg(s.retryInSeconds).arg(s.reason);
        }
        return out.toStdString();
    }
    PushState last() const { return states_.empty() ? PushState{} : states_.back(); }
    int arrivalsNow() {
        const std::lock_guard<std::mutex> held(lock_);
        return arrivals_;
    }

  private:
    void add(const std::function<void()>& change) {
        {
            const std::lock_guard<std::mutex> held(lock_);
            change();
        }
        changed_.notify_all();
    }
    std::mutex lock_;
    std::condition_variable changed_;
    int arrivals_ = 0;
    std::vector<PushState> states_;
};

constexpr MailTimeouts kQuick{5'000, 5'000, 5'000};
constexpr ImapIdleWatcher::Timing kFastRetry{60'000, 50, 200, 100};

QString fakeAddress(const FakeImapServer& server) {
    return u"imap://127.0.0.1:%1?auth=user"_s.arg(server.port());
}

TEST(ImapIdleWatcher, mailDeliveredDuringIdle_toldAtOnceAlsoAfterRenewals) {
    FakeImapServer server({}, {});
    ImapIdleWatcher watcher(kQuick, {150, 50, 200, 100});
    Heard heard;
    watcher.start({fakeAddress(server), u"alice"_qs, u"pw"_qs}, heard.listener());
    // Each connection first says "mail arrived" once, to catch up with what came before.
    ASSERT_TRUE(heard.waitUntil([](const Heard& h) {
        return h.count(PushState::Kind::Listening) == 1 && h.arrivals() == 1;
    }));
    // Renewed: IDLE asked again on the same connection.
    ASSERT_TRUE(
        heard.waitUntil([&](const Heard&) { return server.commands().count("IDLE") >= 3; }));
    server.deliver("Subject: tamper\r\n\r\nfile changed\r\n");
    EXPECT_TRUE(heard.waitUntil([](const Heard& h) { return h.arrivals() >= 2; }));
    EXPECT_EQ(heard.count(PushState::Kind::Listening), 1);  // no reconnection for a renewal
}

// A server without IDLE leaves the push off with the reason; a POP3 address is never asked.
TEST(ImapIdleWatcher, serverWithoutIdleOrPop3Address_pushOffAndSaysWhy) {
    for (const bool pop3 : {false, true}) {
        FakeImapServer server({}, {});
        server.withoutIdle();
        ImapIdleWatcher watcher(kQuick, kFastRetry);
        Heard heard;
        const QString address =
            pop3 ? u"pop3://127.0.0.1:%1"_qs.arg(server.port()) : fakeAddress(server);
        watcher.start({address, u"alice"_qs, u"pw"_qs}, heard.listener());
        ASSERT_TRUE(
            heard.waitUntil([](const Heard& h) { return h.count(PushState::Kind::Off) == 1; }));
        EXPECT_EQ(heard.last().reason.contains(u"IDLE"), !pop3) << heard.told();
        EXPECT_EQ(server.commands().isEmpty(), pop3);
        EXPECT_EQ(heard.arrivalsNow(), 0);
    }
}

TEST(ImapIdleWatcher, stopWhileServerNeverGreets_endsAtOnce) {
    FakeImapServer server({}, {{"GREETING", {}, ImapFault::Stall}});
    ImapIdleWatcher watcher({20'000, 60'000, 60'000}, kFastRetry);
    Heard heard;
    watcher.start({fakeAddress(server), u"alice"_qs, u"pw"_qs}, heard.listener());
    ASSERT_TRUE(heard.waitUntil([&](const Heard&) { return server.accepted() == 1; }));
    QElapsedTimer stopping;
    stopping.start();
    watcher.stop();
    // Well under the 20 s the log-on may take: the stop cut the connection short.
    EXPECT_LT(stopping.elapsed(), 5'000);
    EXPECT_EQ(heard.arrivalsNow(), 0);
}

// Our own fetch on its other connection expunges while this one idles, and a new mail brings
// the count back to where it stood: still news.
TEST(ImapIdleSession, expungeThenNewMailDuringIdle_newMail) {
    FakeImapServer server({{"Subject: old\r\n\r\nold\r\n"}},
                          {{"IDLE", "+ idling\r\n* 1 EXPUNGE\r\n* 1 EXISTS\r\n"}});
    const Result<ServerAddress> address = parseServerAddress(fakeAddress(server));
    ASSERT_TRUE(address.ok());
    CurlImapConnection connection;
    ASSERT_TRUE(connection.open(address.value(), u"alice"_qs, u"pw"_qs, kQuick).ok());
    ImapSession session(connection, kQuick, u"fake"_qs);
    ASSERT_TRUE(session.select(u"INBOX"_qs).ok());
    ASSERT_TRUE(session.beginIdle().ok());
    const Result<IdleNews> news = session.waitInIdle(3'000);
    ASSERT_TRUE(news.ok());
    EXPECT_EQ(news.value(), IdleNews::NewMail);
}

class DovecotIdle : public ::testing::Test {
  protected:
    void SetUp() override {
        if (const QString why = test::DovecotServer::unavailableReason(); !why.isEmpty()) {
            GTEST_SKIP() << why.toStdString();
        }
        ASSERT_TRUE(server.start().ok());
    }
    MailAccount account() const {
        return {u"imap://127.0.0.1:%1?auth=user"_s.arg(server.imapPort()),
                QString::fromLatin1(test::DovecotServer::kUser),
                QString::fromLatin1(test::DovecotServer::kPassword)};
    }
    test::DovecotServer server;
};

TEST_F(DovecotIdle, mailArrivesThenServerRestarts_toldAndCaughtUpAfterReconnecting) {
    ImapIdleWatcher watcher(kQuick, kFastRetry);
    Heard heard;
    watcher.start(account(), heard.listener());
    ASSERT_TRUE(heard.waitUntil([](const Heard& h) { return h.arrivals() == 1; }));
    ASSERT_TRUE(server.addMail("Subject: tamper\r\n\r\nfile changed\r\n").ok());
    ASSERT_TRUE(heard.waitUntil([](const Heard& h) { return h.arrivals() >= 2; }))
        << heard.told() << server.log().toStdString();

    server.stop();
    ASSERT_TRUE(heard.waitUntil(
        [](const Heard& h) { return h.count(PushState::Kind::Reconnecting) >= 1; }));
    EXPECT_FALSE(heard.last().reason.contains(QString::fromLatin1(test::DovecotServer::kPassword)));
    ASSERT_TRUE(server.addMail("Subject: while away\r\n\r\nlogin failures\r\n").ok());
    ASSERT_TRUE(server.start().ok());
    // Back: listening again, and told once to fetch what came while nobody listened.
    EXPECT_TRUE(heard.waitUntil([](const Heard& h) {
        return h.count(PushState::Kind::Listening) == 2 && h.arrivals() >= 3;
    })) << heard.told();
}

}  // namespace
}  // namespace kervo

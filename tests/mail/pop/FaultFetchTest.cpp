// The fetch against a scripted server that fails where a real one rarely does.
#include <fcntl.h>
#include <sys/resource.h>

#include <QLockFile>
#include <csignal>

#include "FakePopServer.h"
#include "PopTestSupport.h"
#include "mail/pop/CurlPopConnection.h"
#include "mail/transport/UidlRecord.h"
#include "support/Printing.h"

namespace kervo {
namespace {

using namespace Qt::StringLiterals;
using test::FakePopServer;
using test::PopFault;

const QString kPassword = u"pw-Secret-42"_s;
const QString kUser = u"monitor"_s;
const QList<QByteArray> kContents = {
    "Subject: 1\r\n\r\n.leading dot\r\n",
    "Subject: 2\r\n\r\n" + QByteArray(300'000, 'b') + "\r\n..\r\n",
    "Subject: 3\r\n\r\nno final newline",
};
const QByteArray kHalfMail = "+OK\r\n" + kContents[1].left(1000);

class FakeServerFetch : public test::FetchTest {
  protected:
    void startServer(std::vector<PopFault> faults, QList<QByteArray> uids = {"1", "2", "3"}) {
        server_ = std::make_unique<FakePopServer>(kContents, std::move(uids), std::move(faults));
        ASSERT_NE(server_->port(), 0);
    }
    QString address() const { return u"127.0.0.1:%1"_s.arg(server_->port()); }
    FetchOutcome fetch(const QString& options = {}) {
        return mailbox_.fetchAll({address() + options, kUser, kPassword});
    }
    QStringList waiting() const { return test::filesIn(folder() + u"/new"_s); }

    std::unique_ptr<FakePopServer> server_;
};

// Which of the three mails a list holds, by their subjects: "13" for the first and the third.
QString which(const QList<QByteArray>& mails) {
    QString out;
    for (const QByteArray& mail : mails) {
        const qsizetype at = test::asSaved(kContents).indexOf(test::asSaved({mail}).first());
        out += at < 0 ? QChar(u'?') : QChar(char16_t(u'1' + at));
    }
    return out;
}

using enum PopFault::Then;
enum Setup {
    Normal,
    Impatient,
    NoSpace,
    SmallMails,
    SmallFiles,
    Dripping,
    UserForced,
    StlsAsked,
    Pipelined
};

struct FaultCase {
    const char* name;
    const char* mentions;  // in the error, or in the notices where the session went on
    bool fails;            // whether the poll reports an error
    const char* saved;     // the mails saved whole into new/, e.g. "13"
    const char* removed;   // the mails the server no longer holds afterwards
    Setup setup = Normal;
    QList<PopFault> faults = {};
};

// The server's fault at the first command that begins with trigger.
QList<PopFault> at(const QByteArray& trigger, const QByteArray& reply, PopFault::Then then = Go) {
    return {{trigger, reply, then}};
}

using kervo::test::PrintTo;

const QByteArray kTimestampGreeting = "+OK fake ready <1896.697170952@fake.example>\r\n";
// Lines of an id listing that name no mail, long enough together to pass the listing limit.
const QByteArray kHugeIds = [] {
    QByteArray out = "+OK\r\n";
    for (int i = 0; i < 4300; ++i) {
        out += "9" + QByteArray::number(i) + ' ' + QByteArray(7990, 'u') + "\r\n";
    }
    return out + ".\r\n";
}();
// A valid id listing sent a line every 20 ms, about three seconds in all.
const QByteArray kDrippedIds = [] {
    QByteArray out = "+OK\r\n1 1\r\n2 2\r\n3 3\r\n";
    for (int i = 0; i < 150; ++i) {
        out += "9" + QByteArray::number(i) + " x\r\n";
    }
    return out + ".\r\n";
}();

class FakeServerFault : public FakeServerFetch, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FakeServerFault, fetch_deletesOnlySavedMailAndGoesOnPastMailItCannotFetch) {
    const FaultCase& c = GetParam();
    if (c.setup == Impatient) {
        mailbox_.setTimeouts(MailTimeouts{2000, 300, 300});
    } else if (c.setup == Dripping) {
        MailTimeouts timeouts;
        timeouts.floorWindowMs = 300;
        mailbox_.setTimeouts(timeouts);
    }
    mailbox_.setMaxMailBytes(c.setup == SmallMails ? 100'000 : 1 << 30);
    if (c.setup == NoSpace) {
        mailbox_.setFreeSpaceProbe([](const QString&) { return qint64{0}; });
    }
    startServer({c.faults.begin(), c.faults.end()});
    if (c.setup == Pipelined) {
        server_->offerPipelining();
    }
    // The disk refuses to let a file grow beyond 280 kB: only the last write of mail 2, when it
    // is saved, crosses that.
    rlimit fileSize{};
    ::getrlimit(RLIMIT_FSIZE, &fileSize);
    const rlimit unlimited = fileSize;
    fileSize.rlim_cur = c.setup == SmallFiles ? 280'000 : unlimited.rlim_cur;
    std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &fileSize);
    const FetchOutcome result =
        c.setup == StlsAsked ? mailbox_.fetchAll({u"pop3+stls://"_s + address(), kUser, kPassword})
                             : fetch(c.setup == UserForced ? u"?auth=user"_s : QString());
    ::setrlimit(RLIMIT_FSIZE, &unlimited);

    const QString error = failureOf(result);
    const QString said = c.fails ? error : result.notices.join(u'\n');
    EXPECT_EQ(!result.ended.ok(), c.fails) << error.toStdString();
    EXPECT_TRUE(said.contains(QString::fromUtf8(c.mentions))) << said.toStdString();
    EXPECT_FALSE((error + result.notices.join(u' ')).contains(kPassword));
    EXPECT_EQ(which(test::contentsOf(waiting())), QString::fromUtf8(c.saved));
    // The promise of the fetch: the server was told to delete only mails saved whole.
    const QString deleted = which(server_->acceptedDeletions());
    for (const QChar mail : deleted) {
        EXPECT_TRUE(QString::fromUtf8(c.saved).contains(mail)) << deleted.toStdString();
    }
    EXPECT_EQ(result.files, waiting());
    QString removed = u"123"_s;
    for (const QChar mail : which(server_->remainingMails())) {
        removed.remove(mail);
    }
    EXPECT_EQ(removed, QString::fromUtf8(c.removed));
    EXPECT_EQ(test::filesIn(folder() + u"/tmp"_s), QStringList());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FakeServerFault,
    ::testing::Values(
        FaultCase{"noFault", "", false, "123", "123"},
        FaultCase{"uidlRefused", "", false, "123", "123", Normal,
                  at("UIDL", "-ERR not supported\r\n")},
        FaultCase{"retrCutOffHalfway", "closed", true, "1", "", Normal,
                  at("RETR 2", kHalfMail, Close)},
        FaultCase{"retrStallsHalfway", "no data", true, "1", "", Impatient,
                  at("RETR 2", kHalfMail, Stall)},
        FaultCase{"firstRetrRefused", "locked", false, "23", "23", Normal,
                  at("RETR 1", "-ERR locked\r\n")},
        FaultCase{"retrGarbage", "neither", true, "", "", Normal, at("RETR 1", "HELLO\r\n")},
        FaultCase{"deleRefused", "busy", false, "123", "13", Normal, at("DELE 2", "-ERR busy\r\n")},
        // the whole batch is saved before its first DELE
        FaultCase{"droppedAtDele", "closed", true, "123", "", Normal, at("DELE 2", {}, Close)},
        FaultCase{"droppedBeforeQuitAnswer", "QUIT", true, "123", "", Normal,
                  at("QUIT", {}, Close)},
        FaultCase{"overlongLine", "longer", true, "", "", Normal,
                  at("LIST", "+OK " + QByteArray(1 << 22, 'x'), Close)},
        FaultCase{"hugeListing", "longer than", true, "", "", Normal, at("UIDL", kHugeIds)},
        FaultCase{"serverDrips", "bytes a second", true, "", "", Dripping,
                  at("UIDL", kDrippedIds, Drip)},
        FaultCase{"garbageGreeting", "127.0.0.1", true, "", "", Impatient,
                  at("GREETING", "HI\r\n")},
        FaultCase{"greetingStalls", "in time", true, "", "", Impatient, at("GREETING", {}, Stall)},
        FaultCase{
            "apopRefused_userPassFollows", "USER/PASS", false, "123", "123", Normal,
            at("GREETING", kTimestampGreeting) + at("APOP", "-ERR [AUTH] no APOP secret\r\n")},
        FaultCase{"userPassForced", "USER/PASS", false, "123", "123", UserForced,
                  at("GREETING", kTimestampGreeting) + at("APOP", "-ERR never\r\n")},
        FaultCase{"serverRepeatsPassword", "refused", true, "", "", UserForced,
                  at("PASS", "-ERR no such user/password: monitor/pw-Secret-42\r\n")},
        FaultCase{"stlsNotOffered", "STLS", true, "", "", StlsAsked},
        FaultCase{"diskFull", "free disk space", false, "", "", NoSpace},
        FaultCase{"diskRefusesWriting", "cannot be written", false, "13", "13", SmallFiles},
        FaultCase{"mailOverLimit", "larger than", false, "13", "13", SmallMails},
        // with RETRs and DELEs in flight, a failure among them leaves the others in step
        FaultCase{"pipelined_retrCutOffHalfway", "closed", true, "1", "", Pipelined,
                  at("RETR 2", kHalfMail, Close)},
        FaultCase{"pipelined_firstRetrRefused", "locked", false, "23", "23", Pipelined,
                  at("RETR 1", "-ERR locked\r\n")},
        FaultCase{"pipelined_deleRefused", "busy", false, "123", "13", Pipelined,
                  at("DELE 2", "-ERR busy\r\n")},
        FaultCase{"pipelined_retrGarbage", "neither", true, "1", "", Pipelined,
                  at("RETR 2", "HELLO\r\n")}),
    kervo::test::rowName);

TEST_F(FakeServerFetch, mailThatCannotBeFetched_toldOnceNotAtEveryPoll) {
    mailbox_.setMaxMailBytes(100'000);
    startServer({});
    EXPECT_EQ(fetch().withheld, 1);
    const FetchOutcome second = fetch();
    EXPECT_EQ(second.withheld, 1);
    EXPECT_EQ(second.notices, QStringList());
}

TEST_F(FakeServerFetch, idReusedAfterConfirmedQuit_newMailIsSaved) {
    startServer({});
    const FetchOutcome first = fetch();
    ASSERT_EQ(failureOf(first), QString());
    for (const QString& file : first.files) {
        mailbox_.markAnalysed(file);
    }
    // A server that numbers its ids gives the next mail the id "1" again.
    server_->deliver(kContents[0], "1");
    const FetchOutcome second = fetch();
    EXPECT_EQ(failureOf(second), QString());
    EXPECT_EQ(saved(second), test::asSaved({kContents[0]}));
}

// A poll may list a report that the analysis of the one before marks analysed before it is read.
TEST_F(FakeServerFetch, reportMarkedAnalysedBeforeItsReading_stillRead) {
    startServer({});
    const FetchOutcome fetched = fetch();
    ASSERT_FALSE(fetched.files.isEmpty());
    const Result<ReportText> before = mailbox_.readReport(fetched.files.first());
    ASSERT_TRUE(before.ok());
    mailbox_.markAnalysed(fetched.files.first());
    const Result<ReportText> after = mailbox_.readReport(fetched.files.first());
    ASSERT_TRUE(after.ok()) << after.error().message.toStdString();
    EXPECT_EQ(after.value().body, before.value().body);
}

TEST_F(FakeServerFetch, openConnection_socketIsCloseOnExec) {
    startServer({});
    CurlPopConnection connection;
    ServerAddress address;
    address.host = u"127.0.0.1"_s;
    address.port = server_->port();
    const Result<void> opened = connection.open(address, kUser, kPassword, MailTimeouts{});
    ASSERT_TRUE(opened.ok()) << opened.error().message.toStdString();
    // The client's end of the connection is the socket whose peer is the server's port.
    int sockets = 0;
    for (const QString& name : QDir(u"/proc/self/fd"_s).entryList(QDir::System)) {
        const int fd = name.toInt();
        sockaddr_in peer{};
        socklen_t length = sizeof peer;
        if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) == 0 &&
            peer.sin_family == AF_INET && ntohs(peer.sin_port) == server_->port()) {
            ++sockets;
            EXPECT_TRUE(::fcntl(fd, F_GETFD) & FD_CLOEXEC);
        }
    }
    EXPECT_EQ(sockets, 1);
}

TEST_F(FakeServerFetch, deletionNotCommitted_nextFetchDeletesWithoutSavingAgain) {
    const struct {
        const char* name;
        PopFault fault;
        int left;  // mails the first session leaves on the server
    } cases[] = {{"quitLost", {"QUIT", {}, PopFault::Close}, 3},
                 {"deleRefused", {"DELE 2", "-ERR busy\r\n"}, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir temp;
        PopMailbox mailbox(temp.filePath(u"mail"_s));
        startServer({c.fault});
        const auto fetchNow = [&] { return mailbox.fetchAll({address(), kUser, kPassword}); };
        const FetchOutcome first = fetchNow();
        ASSERT_EQ(server_->remainingMails().size(), c.left);

        const FetchOutcome second = fetchNow();
        EXPECT_EQ(failureOf(second), QString());
        EXPECT_EQ(second.files, first.files);  // the same three files, no copies
        EXPECT_EQ(server_->remainingMails(), QList<QByteArray>());

        // Ids of mails the server no longer holds are forgotten.
        EXPECT_EQ(failureOf(fetchNow()), QString());
        UidlRecord record(temp.filePath(u"mail/meta/uidl"_s));
        EXPECT_TRUE(record.load().ok() && record.size() == 0);
    }
}

// Nothing is deleted from the server before the files of its batch, their names in new/ and
// new/ itself are on the disk and their ids on record. A batch is saved while the next one is
// retrieved, so its saving steps may fall anywhere among that batch's RETRs. Commands go out
// ahead of the answers only where the server offers it.
TEST_F(FakeServerFetch, batchOfSavedMails_durableBeforeItsDeletions) {
    const QStringList savingSteps = {u"sync drafts"_s,    u"move into new/"_s, u"move into new/"_s,
                                     u"sync new/"_s,      u"record ids"_s,     u"sync drafts"_s,
                                     u"move into new/"_s, u"sync new/"_s,      u"record ids"_s};
    const struct {
        const char* name;
        bool offered;
        QStringList dialogue;
        const char* notice;
    } cases[] = {
        {"oneAtATime",
         false,
         {u"RETR 1"_s, u"received 1"_s, u"RETR 2"_s, u"received 2"_s, u"RETR 3"_s, u"received 3"_s,
          u"DELE 1"_s, u"deleted 1"_s, u"DELE 2"_s, u"deleted 2"_s, u"DELE 3"_s, u"deleted 3"_s},
         "one command at a time"},
        {"pipelined",
         true,
         {u"RETR 1"_s, u"RETR 2"_s, u"received 1"_s, u"received 2"_s, u"RETR 3"_s, u"received 3"_s,
          u"DELE 1"_s, u"DELE 2"_s, u"deleted 1"_s, u"deleted 2"_s, u"DELE 3"_s, u"deleted 3"_s},
         "takes pipelined commands"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        QTemporaryDir temp;
        PopMailbox mailbox(temp.filePath(u"mail"_s));
        QStringList steps;
        mailbox.setTrace([&](const QString& step) { steps << step; });
        mailbox.setBatchMails(2);
        startServer({});
        if (c.offered) {
            server_->offerPipelining();
        }
        const FetchOutcome result = mailbox.fetchAll({address(), kUser, kPassword});
        ASSERT_EQ(failureOf(result), QString());
        QStringList dialogue;
        QStringList saving;
        for (const QString& step : steps) {
            (savingSteps.contains(step) ? saving : dialogue) << step;
        }
        EXPECT_EQ(dialogue, c.dialogue);
        EXPECT_EQ(saving, savingSteps);
        // Where each batch's saving begins and ends among the dialogue's steps.
        const auto nth = [&](const QString& step, int n) {
            qsizetype at = -1;
            for (int i = 0; i < n; ++i) {
                at = steps.indexOf(step, at + 1);
            }
            return at;
        };
        EXPECT_LT(steps.indexOf(u"received 2"_s), nth(u"sync drafts"_s, 1))
            << steps.join(u", ").toStdString();
        EXPECT_LT(nth(u"record ids"_s, 1), steps.indexOf(u"DELE 1"_s))
            << steps.join(u", ").toStdString();
        EXPECT_LT(steps.indexOf(u"received 3"_s), nth(u"sync drafts"_s, 2))
            << steps.join(u", ").toStdString();
        EXPECT_LT(nth(u"record ids"_s, 2), steps.indexOf(u"DELE 3"_s))
            << steps.join(u", ").toStdString();
        EXPECT_EQ(saved(result), test::asSaved(kContents));
        EXPECT_EQ(server_->remainingMails(), QList<QByteArray>());
        EXPECT_EQ(server_->commandsSentAhead() > 0, c.offered) << server_->commandsSentAhead();
        EXPECT_TRUE(result.notices.join(u'\n').contains(QString::fromUtf8(c.notice)))
            << result.notices.join(u'\n').toStdString();
    }
}

TEST_F(FakeServerFetch, repeatedUniqueId_neverCostsAMail) {
    startServer({}, {"1", "2", "2"});
    EXPECT_EQ(saved(fetch()), test::asSaved(kContents));
}

TEST_F(FakeServerFetch, badAccountOrFolder_givesErrorAndLeavesServerAlone) {
    startServer({});
    const QString blocker = temp_.filePath(u"file"_s);
    QFile(blocker).open(QIODevice::WriteOnly);
    const QString locked = temp_.filePath(u"locked"_s);
    QDir().mkpath(locked + u"/meta"_s);
    QLockFile other(locked + u"/meta/fetch.lock"_s);
    ASSERT_TRUE(other.tryLock(0));
    const struct {
        QString server, user, folder, mentions;
    } cases[] = {
        {address(), {}, folder(), u"user"_s},
        {u"imap4://127.0.0.1"_s, kUser, folder(), u"imap4"_s},
        // a password written into the server line is never repeated, whatever it holds
        {u"pop3s://monitor:hunter2/x?y@127.0.0.1"_s, kUser, folder(), u"*****@"_s},
        {address(), kUser, blocker + u"/mail"_s, blocker},  // cannot be created
        {address(), kUser, locked, u"in use"_s},            // another fetch runs
    };
    for (const auto& c : cases) {
        PopMailbox mailbox(c.folder);
        const QString error = failureOf(mailbox.fetchAll({c.server, c.user, kPassword}));
        EXPECT_TRUE(error.contains(c.mentions)) << error.toStdString();
        EXPECT_FALSE(error.contains(u"hunter2"_s)) << error.toStdString();
    }
    EXPECT_EQ(server_->remainingMails(), kContents);
    // The lock of a fetch that was killed is no lock: the kernel let go of it with the process.
    other.unlock();
    QFile left(locked + u"/meta/fetch.lock"_s);
    ASSERT_TRUE(left.open(QIODevice::WriteOnly) && left.write("4242\nkervo\nhost\n") > 0);
    left.close();
    EXPECT_EQ(failureOf(PopMailbox(locked).fetchAll({address(), kUser, kPassword})), QString());
}

}  // namespace
}  // namespace kervo

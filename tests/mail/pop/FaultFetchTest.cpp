// The fetch against a scripted server that fails where a real one rarely does.
#include <sys/resource.h>

#include <QLockFile>
#include <csignal>

#include "FakePopServer.h"
#include "PopTestSupport.h"
#include "mail/pop/UidlRecord.h"

namespace kervo {
namespace {

using namespace Qt::StringLiterals;
using test::FakePopServer;
using test::PopFault;

const QString kPassword = u"pw-Secret-42"_s;
const QString kUser = u"monitor"_s;
const QString kCommand = u"SAVEALLD"_s;
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
    FetchResult fetch() {
        return component_.RcvMail(address(), kUser, kPassword, kCommand, folder());
    }
    QStringList waiting() const { return test::filesIn(folder() + u"/new"_s); }

    std::unique_ptr<FakePopServer> server_;
};

using enum PopFault::Then;
enum Setup { Normal, Impatient, NoSpace, SmallMails, SmallFiles };

struct FaultCase {
    const char* name;
    PopFault fault;
    const char* mentions;  // in the error text; empty: no error at all
    qsizetype saved;       // leading mails saved whole into new/
    qsizetype removed;     // leading mails the server has removed afterwards
    Setup setup = Normal;
};

class FakeServerFault : public FakeServerFetch, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FakeServerFault, fetch_reportsFailureAndDeletesOnlySavedMail) {
    const FaultCase& c = GetParam();
    if (c.setup == Impatient) {
        component_.setTimeouts(PopTimeouts{2000, 300, 300});
    }
    component_.setMaxMailBytes(c.setup == SmallMails ? 100'000 : 1 << 30);
    if (c.setup == NoSpace) {
        component_.setFreeSpaceProbe([](const QString&) { return qint64{0}; });
    }
    startServer({c.fault});
    // The disk refuses to let a file grow beyond 100 kB, halfway through mail 2.
    rlimit fileSize{};
    ::getrlimit(RLIMIT_FSIZE, &fileSize);
    const rlimit unlimited = fileSize;
    fileSize.rlim_cur = c.setup == SmallFiles ? 100'000 : unlimited.rlim_cur;
    std::signal(SIGXFSZ, SIG_IGN);
    ::setrlimit(RLIMIT_FSIZE, &fileSize);
    const FetchResult result = fetch();
    ::setrlimit(RLIMIT_FSIZE, &unlimited);

    EXPECT_EQ(result.error.isEmpty(), *c.mentions == '\0') << result.error.toStdString();
    EXPECT_TRUE(result.error.contains(QString::fromUtf8(c.mentions))) << result.error.toStdString();
    EXPECT_FALSE(result.error.contains(kPassword));
    EXPECT_EQ(test::contentsOf(waiting()), test::asSaved(kContents.mid(0, c.saved)));
    // The promise of the fetch: the server was told to delete only mails saved whole.
    const QList<QByteArray> deleted = server_->acceptedDeletions();
    EXPECT_EQ(deleted, kContents.mid(0, qMin(deleted.size(), c.saved)));
    EXPECT_EQ(result.files, waiting());
    EXPECT_EQ(server_->remainingMails(), kContents.mid(c.removed));
    EXPECT_EQ(test::filesIn(folder() + u"/tmp"_s), QStringList());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FakeServerFault,
    ::testing::Values(
        FaultCase{"noFault", {"never sent"}, "", 3, 3},
        FaultCase{"uidlRefused", {"UIDL", "-ERR not supported\r\n"}, "", 3, 3},
        FaultCase{"retrCutOffHalfway", {"RETR 2", kHalfMail, Close}, "closed", 1, 0},
        FaultCase{"retrStallsHalfway", {"RETR 2", kHalfMail, Stall}, "no data", 1, 0, Impatient},
        FaultCase{"retrRefused", {"RETR 2", "-ERR locked\r\n"}, "locked", 1, 1},
        FaultCase{"retrGarbage", {"RETR 1", "HELLO\r\n"}, "neither", 0, 0},
        FaultCase{"deleRefused", {"DELE 2", "-ERR busy\r\n"}, "busy", 2, 1},
        FaultCase{"droppedAtDele", {"DELE 2", {}, Close}, "closed", 2, 0},
        FaultCase{"droppedBeforeQuitAnswer", {"QUIT", {}, Close}, "QUIT", 3, 0},
        FaultCase{
            "overlongLine", {"LIST", "+OK " + QByteArray(1 << 22, 'x'), Close}, "longer", 0, 0},
        FaultCase{"garbageGreeting", {"GREETING", "HI\r\n"}, "127.0.0.1", 0, 0, Impatient},
        FaultCase{"greetingStalls", {"GREETING", {}, Stall}, "in time", 0, 0, Impatient},
        FaultCase{"diskFull", {"never sent"}, "free disk space", 0, 0, NoSpace},
        FaultCase{"diskRefusesWriting", {"never sent"}, "cannot be written", 1, 1, SmallFiles},
        FaultCase{"mailOverLimit", {"never sent"}, "larger than", 1, 0, SmallMails}),
    [](const ::testing::TestParamInfo<FaultCase>& param) { return std::string(param.param.name); });

TEST_F(FakeServerFetch, quitLost_nextFetchDeletesWithoutSavingAgain) {
    startServer({{"QUIT", {}, PopFault::Close}});
    const FetchResult first = fetch();
    ASSERT_EQ(server_->remainingMails().size(), 3);  // nothing was committed

    const FetchResult second = fetch();
    EXPECT_EQ(second.error, QString());
    EXPECT_EQ(second.files, first.files);  // the same three files, no copies
    EXPECT_EQ(server_->remainingMails(), QList<QByteArray>());

    // Ids of mails the server no longer holds are forgotten.
    EXPECT_EQ(fetch().error, QString());
    UidlRecord record(folder() + u"/meta/uidl"_s);
    EXPECT_TRUE(record.load().isEmpty() && record.size() == 0);
}

TEST_F(FakeServerFetch, repeatedUniqueId_neverCostsAMail) {
    startServer({}, {"1", "2", "2"});
    EXPECT_EQ(saved(fetch()), test::asSaved(kContents));
}

TEST_F(FakeServerFetch, leftoverMails_comeFirstAndSurviveThePurgeOfAnalysedOnes) {
    startServer({{"RETR 3", "-ERR try later\r\n"}});
    const FetchResult first = fetch();
    ASSERT_EQ(first.files.value_or(QStringList()).size(), 2);
    const QString analysed = first.files->at(0);
    component_.MarkAnalysed(analysed, folder());
    // Still readable where marking moved it, until the purge.
    const ReadResult texts = component_.ReadMail(analysed, u"subject:"_s, folder());
    EXPECT_EQ(texts.header, u"1"_s);
    EXPECT_TRUE(texts.body.contains(u".leading dot"_s));
    component_.PurgeAnalysed(folder());

    const FetchResult second = fetch();
    EXPECT_EQ(second.error, QString());
    EXPECT_EQ(second.files.value_or(QStringList()).value(0), first.files->at(1));
    EXPECT_EQ(saved(second), test::asSaved(kContents.mid(1)));
    EXPECT_TRUE(component_.ReadMail(analysed, u"subject:"_s, folder()).failed());
}

TEST_F(FakeServerFetch, badCallOrFolder_givesErrorAndLeavesServerAlone) {
    startServer({});
    const QString blocker = temp_.filePath(u"file"_s);
    QFile(blocker).open(QIODevice::WriteOnly);
    const QString locked = temp_.filePath(u"locked"_s);
    QDir().mkpath(locked + u"/meta"_s);
    QLockFile other(locked + u"/meta/fetch.lock"_s);
    ASSERT_TRUE(other.tryLock(0));
    const struct {
        QString server, user, command, folder, mentions;
    } cases[] = {
        {address(), kUser, u"SAVEALL"_s, folder(), u"SAVEALL"_s},
        {address(), {}, kCommand, folder(), u"user"_s},
        {u"imap://127.0.0.1"_s, kUser, kCommand, folder(), u"imap"_s},
        {address(), kUser, kCommand, blocker + u"/mail"_s, blocker},  // cannot be created
        {address(), kUser, kCommand, locked, u"in use"_s},            // another fetch runs
    };
    for (const auto& c : cases) {
        const QString error =
            component_.RcvMail(c.server, c.user, kPassword, c.command, c.folder).error;
        EXPECT_TRUE(error.contains(c.mentions)) << error.toStdString();
    }
    EXPECT_EQ(server_->remainingMails(), kContents);
}

}  // namespace
}  // namespace kervo

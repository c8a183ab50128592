// The fetch against a scripted server that fails where a real one rarely does.
#include <gtest/gtest.h>

#include <QLockFile>
#include <QTemporaryDir>

#include "FakePopServer.h"
#include "PopTestSupport.h"
#include "mail/pop/PopMailComponent.h"

namespace kervo {
namespace {

using test::FakePopServer;
using test::PopFault;
using Action = PopFault::Action;

const QString kPassword = QStringLiteral("pw-Secret-42");
const QString kCommand = QStringLiteral("SAVEALLD");

std::vector<FakePopServer::Mail> threeMails() {
    return {
        {"uid-1", "Subject: host01 report\r\n\r\n.leading dot\r\nfirst\r\n"},
        {"uid-2", "Subject: host02 report\r\n\r\n" + QByteArray(20'000, 'b') + "\r\n..\r\n"},
        {"uid-3", "Subject: host03 report\r\n\r\nno final newline"},
    };
}

QList<QByteArray> expectedFiles(const std::vector<FakePopServer::Mail>& mails, size_t count) {
    QList<QByteArray> out;
    for (size_t i = 0; i < count; ++i) {
        out.append(test::asSaved(mails[i].content));
    }
    return out;
}

QList<QByteArray> expectedOnServer(const std::vector<FakePopServer::Mail>& mails,
                                   size_t committed) {
    QList<QByteArray> out;
    for (size_t i = committed; i < mails.size(); ++i) {
        out.append(mails[i].content);
    }
    return out;
}

QList<QByteArray> contentsOf(const QStringList& files) {
    QList<QByteArray> out;
    for (const QString& path : files) {
        out.append(test::readFile(path));
    }
    return out;
}

class FakeServerFetch : public ::testing::Test {
  protected:
    void startServer(std::vector<PopFault> faults,
                     std::vector<FakePopServer::Mail> mails = threeMails()) {
        mails_ = mails;
        server_ = std::make_unique<FakePopServer>(std::move(mails), std::move(faults),
                                                  kPassword.toUtf8());
        QString why;
        ASSERT_TRUE(server_->start(why)) << why.toStdString();
        address_ = QStringLiteral("127.0.0.1:%1").arg(server_->port());
    }

    FetchResult fetch() {
        return component_.RcvMail(address_, QStringLiteral("monitor"), kPassword, kCommand,
                                  folder());
    }

    QString folder() const { return temp_.filePath(QStringLiteral("mail")); }
    QStringList waiting() const { return test::filesIn(folder() + QStringLiteral("/new")); }
    QList<QByteArray> commandsStartingWith(const QByteArray& verb) const {
        QList<QByteArray> out;
        for (const QByteArray& command : server_->commands()) {
            if (command.startsWith(verb)) {
                out.append(command);
            }
        }
        return out;
    }

    QTemporaryDir temp_;
    PopMailComponent component_;
    std::unique_ptr<FakePopServer> server_;
    std::vector<FakePopServer::Mail> mails_;
    QString address_;
};

TEST_F(FakeServerFetch, wellBehavedServer_savesAllInOrderAndEmptiesMailbox) {
    startServer({});
    const FetchResult result = fetch();
    EXPECT_EQ(result.error, QString());
    ASSERT_TRUE(result.files.has_value());
    EXPECT_EQ(contentsOf(*result.files), expectedFiles(mails_, 3));
    EXPECT_EQ(*result.files, waiting());
    EXPECT_TRUE(server_->remainingMails().isEmpty());
    EXPECT_EQ(server_->committedDeletions().size(), 3);
}

TEST_F(FakeServerFetch, emptyMailbox_givesNoFilesAndNoError) {
    startServer({}, {});
    const FetchResult result = fetch();
    EXPECT_EQ(result.error, QString());
    EXPECT_TRUE(result.files.value_or(QStringList()).isEmpty());
    EXPECT_FALSE(commandsStartingWith("QUIT").isEmpty());
}

TEST_F(FakeServerFetch, serverWithoutUidl_stillFetchesEverything) {
    startServer({{"UIDL", Action::Reply, "-ERR command not supported"}});
    const FetchResult result = fetch();
    EXPECT_EQ(result.error, QString());
    EXPECT_EQ(contentsOf(result.files.value_or(QStringList())), expectedFiles(mails_, 3));
    EXPECT_TRUE(server_->remainingMails().isEmpty());
}

TEST_F(FakeServerFetch, repeatedUniqueId_neverCostsAMail) {
    std::vector<FakePopServer::Mail> mails = threeMails();
    mails[2].uid = mails[1].uid;
    startServer({}, mails);
    const FetchResult result = fetch();
    EXPECT_EQ(result.error, QString());
    EXPECT_EQ(contentsOf(result.files.value_or(QStringList())), expectedFiles(mails_, 3));
    EXPECT_EQ(commandsStartingWith("RETR").size(), 3);
}

struct FaultCase {
    const char* name;
    PopFault fault;
    const char* mentions;  // the error text must contain this
    size_t saved;          // leading mails saved whole into new/
    size_t committed;      // leading mails the server has removed afterwards
    bool shortTimeouts = false;
};

class FakeServerFault : public FakeServerFetch, public ::testing::WithParamInterface<FaultCase> {};

TEST_P(FakeServerFault, failure_reportsErrorAndDeletesOnlySavedMail) {
    const FaultCase& c = GetParam();
    if (c.shortTimeouts) {
        component_.setTimeouts(PopTimeouts{2000, 300, 300});
    }
    startServer({c.fault});
    const FetchResult result = fetch();

    EXPECT_FALSE(result.error.isEmpty());
    EXPECT_TRUE(result.error.contains(QString::fromUtf8(c.mentions))) << result.error.toStdString();
    EXPECT_FALSE(result.error.contains(kPassword)) << result.error.toStdString();
    test::expectDeletedOnlyWhatIsSaved(server_->acceptedDeletions(), folder());
    EXPECT_EQ(contentsOf(waiting()), expectedFiles(mails_, c.saved));
    EXPECT_EQ(result.files.value_or(QStringList()), waiting());
    EXPECT_EQ(server_->remainingMails(), expectedOnServer(mails_, c.committed));
    EXPECT_TRUE(test::filesIn(folder() + QStringLiteral("/tmp")).isEmpty());
    RecordProperty("error", result.error.toStdString());
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FakeServerFault,
    ::testing::Values(
        FaultCase{"retrCutOffHalfway", {"RETR 2", Action::CutMail, {}}, "closed", 1, 0},
        FaultCase{"retrStallsHalfway", {"RETR 2", Action::StallInMail, {}}, "no data", 1, 0, true},
        FaultCase{"retrRefused",
                  {"RETR 2", Action::Reply, "-ERR message locked"},
                  "message locked",
                  1,
                  1},
        FaultCase{"retrGarbage", {"RETR 1", Action::Reply, "HELLO"}, "neither", 0, 0},
        FaultCase{
            "deleRefused", {"DELE 2", Action::Reply, "-ERR cannot delete"}, "cannot delete", 2, 1},
        FaultCase{"droppedAtDele", {"DELE 2", Action::Close, {}}, "closed", 2, 0},
        FaultCase{"droppedBeforeQuitAnswer", {"QUIT", Action::Close, {}}, "QUIT", 3, 0},
        FaultCase{
            "passwordRefused", {"PASS", Action::Reply, "-ERR [AUTH] go away"}, "log-on", 0, 0},
        FaultCase{
            "listRefused", {"LIST", Action::Reply, "-ERR mailbox busy"}, "mailbox busy", 0, 0},
        FaultCase{"listStalls", {"LIST", Action::Stall, {}}, "LIST", 0, 0, true},
        FaultCase{"listOverlongLine", {"LIST", Action::OverlongLine, {}}, "longer than", 0, 0},
        FaultCase{
            "garbageGreeting", {"GREETING", Action::Reply, "HELLO THERE"}, "127.0.0.1", 0, 0, true},
        FaultCase{"greetingStalls", {"GREETING", Action::Stall, {}}, "in time", 0, 0, true}),
    [](const ::testing::TestParamInfo<FaultCase>& param) { return std::string(param.param.name); });

TEST_F(FakeServerFetch, quitLost_nextFetchDeletesWithoutSavingAgain) {
    startServer({{"QUIT", Action::Close, {}}});
    const FetchResult first = fetch();
    ASSERT_FALSE(first.error.isEmpty());
    ASSERT_EQ(server_->remainingMails().size(), 3);  // nothing was committed

    const FetchResult second = fetch();
    EXPECT_EQ(second.error, QString());
    EXPECT_EQ(second.files, first.files);  // the same three files, never analysed, no copies
    EXPECT_EQ(waiting().size(), 3);
    EXPECT_EQ(commandsStartingWith("RETR").size(), 3);
    EXPECT_TRUE(server_->remainingMails().isEmpty());
}

TEST_F(FakeServerFetch, deleRefused_nextFetchDeletesSavedMailAndFetchesTheRest) {
    startServer({{"DELE 2", Action::Reply, "-ERR cannot delete"}});
    ASSERT_FALSE(fetch().error.isEmpty());
    const FetchResult second = fetch();
    EXPECT_EQ(second.error, QString());
    EXPECT_EQ(contentsOf(second.files.value_or(QStringList())), expectedFiles(mails_, 3));
    // Mail 2 is mail 1 of the second session: deleted there, never retrieved again.
    EXPECT_EQ(commandsStartingWith("RETR"), (QList<QByteArray>{"RETR 1", "RETR 2", "RETR 2"}));
    EXPECT_TRUE(server_->remainingMails().isEmpty());
}

TEST_F(FakeServerFetch, leftoverMails_comeFirstThenNewOnes) {
    startServer({{"RETR 3", Action::Reply, "-ERR try later"}});
    const FetchResult first = fetch();
    ASSERT_EQ(first.files.value_or(QStringList()).size(), 2);
    const FetchResult second = fetch();
    EXPECT_EQ(second.error, QString());
    ASSERT_EQ(second.files.value_or(QStringList()).size(), 3);
    EXPECT_EQ(second.files->mid(0, 2), *first.files);
    EXPECT_EQ(contentsOf(*second.files), expectedFiles(mails_, 3));
}

TEST_F(FakeServerFetch, folderBelowRegularFile_isNamedAndServerUntouched) {
    startServer({});
    QFile blocker(temp_.filePath(QStringLiteral("blocker")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString badFolder = temp_.filePath(QStringLiteral("blocker/mail"));
    const FetchResult result =
        component_.RcvMail(address_, QStringLiteral("monitor"), kPassword, kCommand, badFolder);
    EXPECT_TRUE(result.error.contains(blocker.fileName())) << result.error.toStdString();
    EXPECT_TRUE(server_->commands().isEmpty());
    EXPECT_EQ(server_->remainingMails().size(), 3);
}

TEST_F(FakeServerFetch, diskTooFull_leavesMailOnServerAndSaysSo) {
    startServer({});
    int asked = 0;
    // Room for the first mail only.
    component_.setFreeSpaceProbe(
        [&asked](const QString&) -> qint64 { return ++asked == 1 ? qint64{1} << 40 : 100; });
    const FetchResult result = fetch();
    EXPECT_TRUE(result.error.contains(QStringLiteral("free disk space")))
        << result.error.toStdString();
    EXPECT_TRUE(result.error.contains(folder())) << result.error.toStdString();
    EXPECT_EQ(contentsOf(waiting()), expectedFiles(mails_, 1));
    EXPECT_EQ(server_->remainingMails(), expectedOnServer(mails_, 1));
    test::expectDeletedOnlyWhatIsSaved(server_->acceptedDeletions(), folder());
}

TEST_F(FakeServerFetch, folderLockedByAnotherFetch_isRefusedWithoutContactingServer) {
    startServer({});
    QDir().mkpath(folder() + QStringLiteral("/meta"));
    QLockFile other(folder() + QStringLiteral("/meta/fetch.lock"));
    ASSERT_TRUE(other.tryLock(0));
    const FetchResult result = fetch();
    EXPECT_TRUE(result.error.contains(QStringLiteral("in use"))) << result.error.toStdString();
    EXPECT_TRUE(server_->commands().isEmpty());
}

struct CallCase {
    const char* name;
    QString server;  // "%1" becomes the fake server's port
    QString user;
    QString command;
    const char* mentions;
};

class FakeServerCallMistake : public FakeServerFetch,
                              public ::testing::WithParamInterface<CallCase> {};

TEST_P(FakeServerCallMistake, badArguments_giveErrorAndTouchNothing) {
    const CallCase& c = GetParam();
    startServer({});
    const QString server = c.server.contains(u'%') ? c.server.arg(server_->port()) : c.server;
    const FetchResult result = component_.RcvMail(server, c.user, kPassword, c.command, folder());
    EXPECT_TRUE(result.error.contains(QString::fromUtf8(c.mentions))) << result.error.toStdString();
    EXPECT_EQ(server_->remainingMails().size(), 3);
    EXPECT_TRUE(commandsStartingWith("DELE").isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Calls, FakeServerCallMistake,
    ::testing::Values(CallCase{"unknownCommand", QStringLiteral("127.0.0.1:%1"),
                               QStringLiteral("monitor"), QStringLiteral("SAVEALL"), "SAVEALL"},
                      CallCase{"noUser", QStringLiteral("127.0.0.1:%1"), QString(), kCommand,
                               "user"},
                      CallCase{"badAddress", QStringLiteral("imap://127.0.0.1"),
                               QStringLiteral("monitor"), kCommand, "imap"},
                      CallCase{"plainAuthNotOffered", QStringLiteral("127.0.0.1:%1?auth=plain"),
                               QStringLiteral("monitor"), kCommand, "log-on"}),
    [](const ::testing::TestParamInfo<CallCase>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace kervo

// The fetch against a real POP3 server.
#include "DovecotServer.h"
#include "PopTestSupport.h"
#include "support/Printing.h"

namespace kervo {
namespace {

using namespace Qt::StringLiterals;
using test::asSaved;
using test::DovecotServer;

QByteArray report(int host) {
    const QByteArray n = QByteArray::number(host);
    return "Subject: host" + n + " tamper report\r\n\r\nNo change on host " + n + ".\r\n";
}

class DovecotFetch : public test::FetchTest {
  protected:
    void SetUp() override {
        if (const QString reason = DovecotServer::unavailableReason(); !reason.isEmpty()) {
            GTEST_SKIP() << reason.toStdString();
        }
        const Result<void> started = server_.start();
        ASSERT_TRUE(started.ok()) << started.error().message.toStdString();
        mailbox_.setTimeouts(MailTimeouts{20'000, 30'000, 30'000});
    }

    void deliver(const QList<QByteArray>& mails) {
        for (const QByteArray& mail : mails) {
            ASSERT_TRUE(server_.addMail(mail).ok());
        }
    }
    // Every fetch also checks that each saved mail was told, in order, as its batch became safe.
    FetchOutcome fetch(const QString& address, const char* password = DovecotServer::kPassword) {
        QStringList told;
        toldGroups_ = 0;
        FetchOutcome outcome = mailbox_.fetchAll(
            {address, QString::fromLatin1(DovecotServer::kUser), QString::fromLatin1(password)},
            [&](const QStringList& files) {
                told += files;
                ++toldGroups_;
            });
        EXPECT_EQ(told, outcome.files);
        return outcome;
    }
    QString plain() const { return u"127.0.0.1:%1"_s.arg(server_.popPort()); }

    DovecotServer server_;
    int toldGroups_ = 0;
};

TEST_F(DovecotFetch, emptyThenFullMailbox_givesNothingThenAllByteExactInServerOrder) {
    const FetchOutcome empty = fetch(plain());
    EXPECT_EQ(failureOf(empty), QString());
    EXPECT_EQ(empty.files, QStringList());
    // Dovecot offers PIPELINING: the mails below come in batches with commands in flight.
    EXPECT_TRUE(empty.notices.join(u' ').contains(u"takes pipelined commands"_s))
        << empty.notices.join(u' ').toStdString();
    mailbox_.setBatchMails(50);

    QList<QByteArray> sent = {
        "Subject: dots\r\n\r\n.\r\n..\r\n.leading\r\n...three\r\nend\r\n",
        "Subject: no final newline\r\n\r\nlast line without end",
        "Subject: a dot at the very end\r\n\r\ntext\r\n.",
        "Subject: large\r\n\r\n" + (QByteArray(75, 'x') + "\r\n").repeated(400'000),  // 30 MB
    };
    for (int i = 0; i < 150; ++i) {
        sent.append(report(i));
    }
    deliver(sent);
    const FetchOutcome full = fetch(plain());
    EXPECT_EQ(failureOf(full), QString());
    EXPECT_TRUE(saved(full) == asSaved(sent));  // not printed: 30 MB
    EXPECT_EQ(server_.mailCount(), 0);
    EXPECT_GE(toldGroups_, 4) << "each batch is told as it is saved, not all at the end";
}

struct LogOnCase {
    const char* name;
    const char* address;    // filled in by the server (DovecotServer::filledIn)
    const char* loginMark;  // what the server logs for the log-on; empty: refused
    const char* error = "";
    const char* password = DovecotServer::kPassword;
};

using kervo::test::PrintTo;

class DovecotLogOn : public DovecotFetch, public ::testing::WithParamInterface<LogOnCase> {};

TEST_P(DovecotLogOn, fetch_succeedsOnlyWithTrustedServerAndRightPassword) {
    const LogOnCase& c = GetParam();
    const bool fine = *c.error == '\0';
    // Large enough to span many TLS records, which the receiving side must drain in full.
    const QList<QByteArray> sent = {report(7), "Subject: big\r\n\r\n" + QByteArray(3 << 20, 'z')};
    deliver(sent);
    const FetchOutcome result = fetch(server_.filledIn(QString::fromUtf8(c.address)), c.password);
    const QString error = failureOf(result);
    EXPECT_TRUE(error.contains(QString::fromUtf8(c.error)) && error.isEmpty() == fine)
        << error.toStdString();
    EXPECT_FALSE(error.contains(QString::fromLatin1(c.password)));
    EXPECT_EQ(saved(result), fine ? asSaved(sent) : QList<QByteArray>());
    EXPECT_EQ(server_.mailCount(), fine ? 0 : 2);
    EXPECT_TRUE(server_.logShows(QString::fromUtf8(c.loginMark))) << server_.log().toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Trust, DovecotLogOn,
    ::testing::Values(
        LogOnCase{"plainApop", "127.0.0.1:{pop}?auth=apop", "method=APOP"},
        LogOnCase{"stlsCaFile", "pop3+stls://localhost:{pop}?cafile={cafile}", ", TLS"},
        LogOnCase{"pop3sCaFile", "pop3s://localhost:{pops}?cafile={cafile}", ", TLS"},
        // the certificate names localhost, not the address: trusted issuer, wrong name
        LogOnCase{"pop3sCaFileOtherName", "pop3s://127.0.0.1:{pops}?cafile={cafile}", "",
                  "not trusted"},
        LogOnCase{"pop3sPinAndCaFileOtherName",
                  "pop3s://127.0.0.1:{pops}?cafile={cafile}&pin={pin}", "", "not trusted"},
        LogOnCase{"pop3sPin", "pop3s://127.0.0.1:{pops}?pin={pin}", ", TLS"},
        LogOnCase{"stlsUntrusted", "pop3+stls://127.0.0.1:{pop}", "", "not trusted"},
        LogOnCase{"pop3sUntrusted", "pop3s://127.0.0.1:{pops}", "", "not trusted"},
        LogOnCase{
            "pop3sWrongPin",
            "pop3s://127.0.0.1:{pops}?pin=sha256//AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=", "",
            "not trusted"},
        LogOnCase{"wrongPassword", "127.0.0.1:{pop}", "", "refused the log-on",
                  "not-the-Password"}),
    kervo::test::rowName);

}  // namespace
}  // namespace kervo

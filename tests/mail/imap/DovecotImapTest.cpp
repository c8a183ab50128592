// The IMAP fetch against a real IMAP server.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "DovecotServer.h"
#include "mail/imap/ImapMailbox.h"
#include "support/MailFiles.h"
#include "support/Printing.h"

namespace kervo {
namespace {

using namespace Qt::StringLiterals;
using test::contentsOf;
using test::DovecotServer;

QByteArray report(int host) {
    const QByteArray n = QByteArray::number(host);
    return "Subject: host" + n + " tamper report\r\n\r\nNo change on host " + n + ".\r\n";
}

struct DovecotCase {
    const char* name;
    const char* address;     // filled in by the server (DovecotServer::filledIn)
    const char* error = "";  // empty: the poll succeeds
    const char* password = DovecotServer::kPassword;
    bool forgetUids = false;  // the server rebuilds its UIDs between two polls
};

using kervo::test::PrintTo;

class DovecotImap : public ::testing::TestWithParam<DovecotCase> {
  protected:
    void SetUp() override {
        if (const QString reason = DovecotServer::unavailableReason(); !reason.isEmpty()) {
            GTEST_SKIP() << reason.toStdString();
        }
        const Result<void> started = server_.start();
        ASSERT_TRUE(started.ok()) << started.error().message.toStdString();
        mailbox_.setTimeouts(MailTimeouts{20'000, 30'000, 30'000});
    }
    FetchOutcome fetch(const DovecotCase& c) {
        const QString address = server_.filledIn(QString::fromUtf8(c.address));
        // Each saved message is told, in order, as soon as its batch is safe.
        QStringList told;
        FetchOutcome outcome = mailbox_.fetchAll(
            {address, QString::fromLatin1(DovecotServer::kUser), QString::fromLatin1(c.password)},
            [&](const QStringList& files) { told += files; });
        EXPECT_EQ(told, outcome.files);
        return outcome;
    }

    QTemporaryDir temp_;
    DovecotServer server_;
    ImapMailbox mailbox_{temp_.filePath(u"mail"_s)};
};

TEST_P(DovecotImap, polls_saveEveryMessageByteExactOnlyWhenTrusted) {
    const DovecotCase& c = GetParam();
    const bool fine = *c.error == '\0';
    const FetchOutcome empty = fetch(c);
    EXPECT_EQ(empty.ended.ok(), fine);
    EXPECT_TRUE(empty.files.isEmpty());

    // Many reports, and one large mail that spans many reads and TLS records.
    QList<QByteArray> sent = {"Subject: large\r\n\r\n" +
                              (QByteArray(75, 'x') + "\r\n").repeated(40'000)};
    for (int i = 0; i < 120; ++i) {
        sent.append(report(i));
    }
    for (const QByteArray& mail : sent) {
        ASSERT_TRUE(server_.addMail(mail).ok());
    }
    mailbox_.setBatchMails(50);
    if (c.forgetUids) {
        // Saved and recorded, then the server stops before anything is expunged...
        server_.stop();
        ASSERT_TRUE(server_.start().ok());
    }
    const FetchOutcome full = fetch(c);
    const QString error = full.ended.ok() ? QString() : full.ended.error().message;
    EXPECT_TRUE(error.contains(QString::fromUtf8(c.error)) && error.isEmpty() == fine)
        << error.toStdString();
    EXPECT_FALSE(error.contains(QString::fromLatin1(c.password)));
    EXPECT_TRUE(contentsOf(full.files) == (fine ? sent : QList<QByteArray>()));  // 3 MB: unprinted
    EXPECT_EQ(server_.mailCount(), fine ? 0 : sent.size());

    if (c.forgetUids) {
        // ...and a message arrives under a new UIDVALIDITY with UIDs counted from 1 again.
        server_.stop();
        ASSERT_TRUE(server_.addMail(report(999)).ok());
        server_.forgetUids();
        ASSERT_TRUE(server_.start().ok());
        const FetchOutcome after = fetch(c);
        EXPECT_TRUE(after.ended.ok()) << after.ended.error().message.toStdString();
        EXPECT_TRUE(contentsOf(after.files).contains(report(999)));
        EXPECT_EQ(server_.mailCount(), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Servers, DovecotImap,
    ::testing::Values(
        DovecotCase{"plain", "imap://127.0.0.1:{imap}"},
        DovecotCase{"plainLogin", "imap://127.0.0.1:{imap}?auth=user"},
        DovecotCase{"startTlsCaFile", "imap+stls://localhost:{imap}?cafile={cafile}&auth=plain"},
        DovecotCase{"startTlsLoginWrongPassword",
                    "imap+stls://localhost:{imap}?cafile={cafile}&auth=user", "refused the log-on",
                    "not-the-Password"},
        DovecotCase{"imapsCaFileOtherMailboxName",
                    "imaps://localhost:{imaps}?cafile={cafile}&mailbox=inbox"},
        DovecotCase{"imapsPin", "imaps://127.0.0.1:{imaps}?pin={pin}"},
        DovecotCase{"imapsUntrusted", "imaps://127.0.0.1:{imaps}", "not trusted"},
        DovecotCase{"startTlsOtherName", "imap+stls://127.0.0.1:{imap}?cafile={cafile}",
                    "not trusted"},
        DovecotCase{"wrongPassword", "imap://127.0.0.1:{imap}", "refused the log-on",
                    "not-the-Password"},
        DovecotCase{"missingMailbox", "imap://127.0.0.1:{imap}?mailbox=Nowhere", "SELECT"},
        DovecotCase{"uidValidityChanged", "imap://127.0.0.1:{imap}", "", DovecotServer::kPassword,
                    true}),
    kervo::test::rowName);

}  // namespace
}  // namespace kervo

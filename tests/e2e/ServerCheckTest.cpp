// kervo --check-server against a real mail server: what it prints, its exit status, and that it
// never takes a mail away.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "E2eSupport.h"
#include "ServerCheckCommand.h"
#include "support/TableRows.h"

using namespace kervo::test;

namespace {

struct ServerCheckCase {
    const char* name;
    // Line 6: %1 POP3 port, %2 POP3S port, %3 the CA file, %4 the server's key pin, %5 IMAP
    // port, %6 IMAPS port. Empty: no settings are written at all.
    const char* address;
    int status;
    const char* outMarks;  // "|"-separated, each to be found on standard output; same markers
    const char* errMarks;  // on standard error
    const char* password = DovecotServer::kPassword;
};

using kervo::test::PrintTo;

class ServerCheck : public ::testing::TestWithParam<ServerCheckCase> {};

TEST_P(ServerCheck, settingsAndServer_giveTheStepTheStatusAndNoMailTaken) {
    const ServerCheckCase& c = GetParam();
    if (const QString why = DovecotServer::unavailableReason(); !why.isEmpty()) {
        GTEST_SKIP() << why.toStdString();
    }
    DovecotServer server;
    const QString failed = startWithReports(
        server, {{QStringLiteral("Integrity report web01"), QStringLiteral("no change")},
                 {QStringLiteral("Integrity report db01"), QStringLiteral("no change")}});
    ASSERT_TRUE(failed.isEmpty()) << failed.toStdString();
    const auto filled = [&](const char* text) {
        return QString::fromUtf8(text)
            .replace(QStringLiteral("%1"), QString::number(server.popPort()))
            .replace(QStringLiteral("%2"), QString::number(server.popsPort()))
            .replace(QStringLiteral("%3"), server.caFile())
            .replace(QStringLiteral("%4"), server.pin())
            .replace(QStringLiteral("%5"), QString::number(server.imapPort()))
            .replace(QStringLiteral("%6"), QString::number(server.imapsPort()));
    };
    QTemporaryDir settings;
    if (*c.address != '\0') {
        ASSERT_TRUE(writeSettings(QDir(settings.path()), filled(c.address), 10, c.password));
    }

    QString out;
    QString err;
    QTextStream o(&out);
    QTextStream e(&err);
    EXPECT_EQ(kervo::runServerCheckCommand(QDir(settings.path()), o, e), c.status)
        << out.toStdString() << err.toStdString();
    o.flush();
    e.flush();
    for (const QString& mark : filled(c.outMarks).split(u'|', Qt::SkipEmptyParts)) {
        EXPECT_TRUE(out.contains(mark)) << mark.toStdString() << " in:\n" << out.toStdString();
    }
    for (const QString& mark : filled(c.errMarks).split(u'|', Qt::SkipEmptyParts)) {
        EXPECT_TRUE(err.contains(mark)) << mark.toStdString() << " in:\n" << err.toStdString();
    }
    EXPECT_FALSE((out + err).contains(QString::fromLatin1(c.password)));
    // Nothing fetched, nothing deleted, whatever happened.
    EXPECT_EQ(server.mailCount(), 2);
    if (c.status == 0) {
        const bool imap = QByteArray(c.address).startsWith("imap");
        EXPECT_TRUE(server.logShows(imap ? QStringLiteral("deleted=0 expunged=0")
                                         : QStringLiteral("retr=0/0, del=0/2")))
            << server.log().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Servers, ServerCheck,
    ::testing::Values(
        ServerCheckCase{"plain_countsWithoutTls", "127.0.0.1:%1", 0,
                        "Address: 127.0.0.1 port %1|TLS: none|Waiting: 2 mails", ""},
        ServerCheckCase{"stlsCaFile_showsTlsAndPin", "pop3+stls://localhost:%1?cafile=%3", 0,
                        "TLS: TLSv1.|subject: CN=localhost|pin=%4|Waiting: 2 mails", ""},
        ServerCheckCase{"pop3sCaFile_showsTlsAndPin", "pop3s://localhost:%2?cafile=%3", 0,
                        "port %2|TLS: TLSv1.|pin=%4|expires: 2|Waiting: 2 mails", ""},
        ServerCheckCase{"wrongPassword_failsAtLogOn", "127.0.0.1:%1", 1, "",
                        "failed at log-on|refused", "not-the-Password"},
        // .invalid never resolves (RFC 6761)
        ServerCheckCase{"unknownHost_failsAtNameResolution", "nowhere.invalid:%1", 1, "",
                        "failed at name resolution"},
        ServerCheckCase{"closedPort_failsAtConnection", "127.0.0.1:1", 1, "",
                        "failed at connection"},
        ServerCheckCase{"untrustedCertificate_failsAtTlsAndShowsIt", "pop3s://127.0.0.1:%2", 1, "",
                        "failed at TLS|not trusted|pin=%4"},
        ServerCheckCase{"imapStartTls_countsReadOnly", "imap+stls://localhost:%5?cafile=%3", 0,
                        "port %5|TLS: TLSv1.|Waiting: 2 mails", ""},
        ServerCheckCase{"imapsUntrusted_failsAtTlsAndShowsIt", "imaps://127.0.0.1:%6", 1, "",
                        "failed at TLS|not trusted|pin=%4"},
        ServerCheckCase{"imapMissingMailbox_failsCounting", "imap://127.0.0.1:%5?mailbox=Nowhere",
                        1, "", "failed at counting the mails|EXAMINE"},
        ServerCheckCase{"noSettings_badSettings", "", 2, "", "kervo.ini"},
        ServerCheckCase{"userInfoOnLine6_badSettings", "pop3s://alice:x@127.0.0.1:%2", 2, "*****",
                        "line 6"}),
    kervo::test::rowName);

}  // namespace

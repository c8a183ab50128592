// kervo --check-server against a real mail server: what it prints, its exit status, and that it
// never takes a mail away.
#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "E2eSupport.h"
#include "ServerCheckCommand.h"
#include "support/Printing.h"

using namespace kervo::test;
using namespace Qt::StringLiterals;

namespace {

struct ServerCheckCase {
    const char* name;
    // Line 6, filled in by the server (DovecotServer::filledIn); empty: no settings at all.
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
    const QString failed = startWithReports(server, {{u"Integrity report web01"_s, u"no change"_s},
                                                     {u"Integrity report db01"_s, u"no change"_s}});
    ASSERT_TRUE(failed.isEmpty()) << failed.toStdString();
    const auto filled = [&](const char* text) { return server.filledIn(QString::fromUtf8(text)); };
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
        EXPECT_TRUE(server.logShows(imap ? u"deleted=0 expunged=0"_s : u"retr=0/0, del=0/2"_s))
            << server.log().toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Servers, ServerCheck,
    ::testing::Values(
        ServerCheckCase{"plain_countsWithoutTls", "127.0.0.1:{pop}", 0,
                        "Address: 127.0.0.1 port {pop}|TLS: none|Waiting: 2 mails", ""},
        ServerCheckCase{"stlsCaFile_showsTlsAndPin", "pop3+stls://localhost:{pop}?cafile={cafile}",
                        0, "TLS: TLSv1.|subject: CN=localhost|pin={pin}|Waiting: 2 mails", ""},
        ServerCheckCase{"pop3sCaFile_showsTlsAndPin", "pop3s://localhost:{pops}?cafile={cafile}", 0,
                        "port {pops}|TLS: TLSv1.|pin={pin}|expires: 2|Waiting: 2 mails", ""},
        ServerCheckCase{"wrongPassword_failsAtLogOn", "127.0.0.1:{pop}", 1, "",
                        "failed at log-on|refused", "not-the-Password"},
        // .invalid never resolves (RFC 6761)
        ServerCheckCase{"unknownHost_failsAtNameResolution", "nowhere.invalid:{pop}", 1, "",
                        "failed at name resolution"},
        ServerCheckCase{"closedPort_failsAtConnection", "127.0.0.1:1", 1, "",
                        "failed at connection"},
        ServerCheckCase{"untrustedCertificate_failsAtTlsAndShowsIt", "pop3s://127.0.0.1:{pops}", 1,
                        "", "failed at TLS|not trusted|pin={pin}"},
        ServerCheckCase{"imapStartTls_countsReadOnly",
                        "imap+stls://localhost:{imap}?cafile={cafile}", 0,
                        "port {imap}|TLS: TLSv1.|Waiting: 2 mails", ""},
        ServerCheckCase{"imapsUntrusted_failsAtTlsAndShowsIt", "imaps://127.0.0.1:{imaps}", 1, "",
                        "failed at TLS|not trusted|pin={pin}"},
        ServerCheckCase{"imapMissingMailbox_failsCounting",
                        "imap://127.0.0.1:{imap}?mailbox=Nowhere", 1, "",
                        "failed at counting the mails|EXAMINE"},
        ServerCheckCase{"noSettings_badSettings", "", 2, "", "kervo.ini"},
        ServerCheckCase{"userInfoOnLine6_badSettings", "pop3s://alice:x@127.0.0.1:{pops}", 2,
                        "*****", "line 6"}),
    kervo::test::rowName);

}  // namespace

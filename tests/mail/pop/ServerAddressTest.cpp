#include <gtest/gtest.h>

#include "mail/pop/ServerAddress.h"

namespace kervo {
namespace {

struct AddressCase {
    const char* line;
    PopTls tls;
    const char* host;
    int port;
    PopAuth auth;
    const char* url;
};

class AcceptedAddress : public ::testing::TestWithParam<AddressCase> {};

TEST_P(AcceptedAddress, parsed_givesHostPortTlsAndUrl) {
    const AddressCase& c = GetParam();
    const ServerAddressParse parsed = parseServerAddress(QString::fromUtf8(c.line));
    ASSERT_TRUE(std::holds_alternative<ServerAddress>(parsed))
        << c.line << ": " << std::get<QString>(parsed).toStdString();
    const ServerAddress& a = std::get<ServerAddress>(parsed);
    EXPECT_EQ(a.tls, c.tls) << c.line;
    EXPECT_EQ(a.host, QString::fromUtf8(c.host)) << c.line;
    EXPECT_EQ(a.port, c.port) << c.line;
    EXPECT_EQ(a.auth, c.auth) << c.line;
    EXPECT_EQ(a.url(), QByteArray(c.url)) << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    Forms, AcceptedAddress,
    ::testing::Values(
        AddressCase{"mail.example.com", PopTls::None, "mail.example.com", 110, PopAuth::Any,
                    "pop3://mail.example.com:110/"},
        AddressCase{"  mail.example.com \r", PopTls::None, "mail.example.com", 110, PopAuth::Any,
                    "pop3://mail.example.com:110/"},
        AddressCase{"mail.example.com:1110", PopTls::None, "mail.example.com", 1110, PopAuth::Any,
                    "pop3://mail.example.com:1110/"},
        AddressCase{"pop3://10.0.0.5", PopTls::None, "10.0.0.5", 110, PopAuth::Any,
                    "pop3://10.0.0.5:110/"},
        AddressCase{"POP3S://mail.example.com/", PopTls::Implicit, "mail.example.com", 995,
                    PopAuth::Any, "pop3s://mail.example.com:995/"},
        AddressCase{"pop3s://mail.example.com:2995", PopTls::Implicit, "mail.example.com", 2995,
                    PopAuth::Any, "pop3s://mail.example.com:2995/"},
        AddressCase{"pop3+stls://mail.example.com", PopTls::StartTls, "mail.example.com", 110,
                    PopAuth::Any, "pop3://mail.example.com:110/"},
        AddressCase{"mail.example.com?tls=starttls", PopTls::StartTls, "mail.example.com", 110,
                    PopAuth::Any, "pop3://mail.example.com:110/"},
        AddressCase{"[2001:db8::1]:1995?tls=STARTTLS", PopTls::StartTls, "2001:db8::1", 1995,
                    PopAuth::Any, "pop3://[2001:db8::1]:1995/"},
        AddressCase{"pop3s://[::1]", PopTls::Implicit, "::1", 995, PopAuth::Any,
                    "pop3s://[::1]:995/"},
        AddressCase{"::1", PopTls::None, "::1", 110, PopAuth::Any, "pop3://[::1]:110/"},
        AddressCase{"pop3://mail.example.com?auth=apop", PopTls::None, "mail.example.com", 110,
                    PopAuth::Apop, "pop3://mail.example.com:110/"},
        AddressCase{"mail.example.com?auth=plain&tls=starttls", PopTls::StartTls,
                    "mail.example.com", 110, PopAuth::Plain, "pop3://mail.example.com:110/"}));

TEST(ServerAddressHost, internationalName_becomesAsciiForTheConnection) {
    const ServerAddressParse parsed = parseServerAddress(QStringLiteral("メール.example.jp:110"));
    ASSERT_TRUE(std::holds_alternative<ServerAddress>(parsed));
    const QString host = std::get<ServerAddress>(parsed).host;
    EXPECT_TRUE(host.startsWith(QStringLiteral("xn--"))) << host.toStdString();
    EXPECT_TRUE(host.endsWith(QStringLiteral(".example.jp"))) << host.toStdString();
    EXPECT_EQ(std::get<ServerAddress>(parsed).url(), "pop3://" + host.toLatin1() + ":110/");
}

TEST(ServerAddressTrust, cafileAndPin_areDecodedFromTheQuery) {
    const ServerAddressParse parsed = parseServerAddress(QStringLiteral(
        "pop3s://mail.example.com?cafile=/etc/kervo/my%20ca.pem&pin=sha256//AAAA;sha256//BBBB"));
    ASSERT_TRUE(std::holds_alternative<ServerAddress>(parsed));
    const ServerAddress& a = std::get<ServerAddress>(parsed);
    EXPECT_EQ(a.caFile, QStringLiteral("/etc/kervo/my ca.pem"));
    EXPECT_EQ(a.pin, QStringLiteral("sha256//AAAA;sha256//BBBB"));
}

TEST(ServerAddressDisplay, ipv6_isBracketedWithPort) {
    const ServerAddressParse parsed = parseServerAddress(QStringLiteral("[fe80::2]:2110"));
    ASSERT_TRUE(std::holds_alternative<ServerAddress>(parsed));
    EXPECT_EQ(std::get<ServerAddress>(parsed).display(), QStringLiteral("[fe80::2]:2110"));
}

struct RejectedCase {
    const char* line;
    const char* mentions;  // the error must point at this
};

class RejectedAddress : public ::testing::TestWithParam<RejectedCase> {};

TEST_P(RejectedAddress, parsed_givesErrorNamingTheProblem) {
    const RejectedCase& c = GetParam();
    const ServerAddressParse parsed = parseServerAddress(QString::fromUtf8(c.line));
    ASSERT_TRUE(std::holds_alternative<QString>(parsed)) << c.line;
    EXPECT_TRUE(std::get<QString>(parsed).contains(QString::fromUtf8(c.mentions)))
        << c.line << " -> " << std::get<QString>(parsed).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Mistakes, RejectedAddress,
    ::testing::Values(
        RejectedCase{"", "empty"}, RejectedCase{"   ", "empty"},
        RejectedCase{"imap://mail.example.com", "imap"}, RejectedCase{"mail.example.com:0", "port"},
        RejectedCase{"mail.example.com:65536", "port"},
        RejectedCase{"mail.example.com:pop", "port"}, RejectedCase{"mail.example.com:", "port"},
        RejectedCase{"pop3://user@mail.example.com", "user name"},
        RejectedCase{"pop3://mail.example.com/INBOX", "path"},
        RejectedCase{"mail example.com", "blank"}, RejectedCase{"mail.exa\x01mple.com", "control"},
        RejectedCase{"mail$.example.com", "host name"}, RejectedCase{"[::1", "']'"},
        RejectedCase{"[mail]:110", "IPv6"}, RejectedCase{"1:2:3", "IPv6"},
        RejectedCase{"mail.example.com?cafle=/x.pem", "cafle"},
        RejectedCase{"mail.example.com?tls=yes", "tls=yes"},
        RejectedCase{"mail.example.com?auth=cram", "auth=cram"},
        RejectedCase{"pop3s://mail.example.com?tls=starttls", "contradicts"},
        RejectedCase{"mail.example.com?cafile=/x.pem", "need TLS"},
        RejectedCase{"pop3s://mail.example.com?pin=md5//AAAA", "sha256//"},
        RejectedCase{"pop3s://mail.example.com?cafile=", "file name"}));

}  // namespace
}  // namespace kervo

#include "PopTestSupport.h"
#include "mail/transport/ServerAddress.h"

namespace kervo {
namespace {

using namespace Qt::StringLiterals;

TEST(ServerAddress, acceptedForms_giveTlsAuthAndUrl) {
    using enum MailTls;
    using enum MailAuth;
    const struct {
        QString line;
        MailTls tls;
        MailAuth auth;
        const char* url;
        QString mailbox = {};
        QString form = {};  // checked where given
    } cases[] = {
        {u"mx.test"_s, None, Any, "pop3://mx.test:110/"},
        {u"  mx.test:1110 \r"_s, None, Any, "pop3://mx.test:1110/"},
        {u"POP3S://mx.test/"_s, Implicit, Any, "pop3s://mx.test:995/"},
        {u"pop3s://[::1]:2995"_s, Implicit, Any, "pop3s://[::1]:2995/"},
        {u"pop3+stls://mx.test"_s, StartTls, Any, "pop3://mx.test:110/"},
        {u"[2001:db8::1]:1995?tls=STARTTLS"_s, StartTls, Any, "pop3://[2001:db8::1]:1995/"},
        {u"pop3://mx.test?auth=apop"_s, None, Apop, "pop3://mx.test:110/", QString(),
         u"POP3 in plain text at mx.test:110, log-on apop"_s},
        {u"mx.test?auth=plain&tls=starttls"_s, StartTls, Plain, "pop3://mx.test:110/"},
        {u"メール.example.jp"_s, None, Any, "pop3://xn--4dkua4c.example.jp:110/"},
        {u"imap://mx.test"_s, None, Any, "imap://mx.test:143/", u"INBOX"_s,
         u"IMAP in plain text at mx.test:143, mailbox \"INBOX\", log-on any"_s},
        {u"IMAPS://mx.test?auth=user"_s, Implicit, User, "imaps://mx.test:993/", u"INBOX"_s},
        {u"imap+stls://mx.test:1143?mailbox=Reports%2FDaily&pin=sha256//AB"_s, StartTls, Any,
         "imap://mx.test:1143/", u"Reports/Daily"_s,
         u"IMAP with STARTTLS at mx.test:1143, mailbox \"Reports/Daily\", pinned key, log-on "
         "any"_s},
    };
    for (const auto& c : cases) {
        const Result<ServerAddress> parsed = parseServerAddress(c.line);
        ASSERT_TRUE(parsed.ok()) << c.line.toStdString() << ": "
                                 << parsed.error().message.toStdString();
        const ServerAddress& a = parsed.value();
        EXPECT_EQ(a.url(), QByteArray(c.url));
        EXPECT_TRUE(a.tls == c.tls && a.auth == c.auth) << c.url;
        EXPECT_EQ(a.mailbox, c.mailbox) << c.url;
        EXPECT_TRUE(c.form.isEmpty() || a.form() == c.form) << a.form().toStdString();
    }
}

TEST(ServerAddress, rejectedForms_giveErrorNamingTheProblem) {
    const std::pair<QString, QString> cases[] = {
        {u"  "_s, u"empty"_s},
        {u"imap4://mx.test"_s, u"imap4"_s},
        {u"imap://mx.test?auth=apop"_s, u"POP3"_s},
        {u"pop3://mx.test?mailbox=INBOX"_s, u"only for IMAP"_s},
        {u"mx.test:0"_s, u"port"_s},
        {u"pop3://user@mx.test"_s, u"user name"_s},
        {u"pop3://mx.test/INBOX"_s, u"path"_s},
        {u"mx test"_s, u"blank"_s},
        {u"mx$.test"_s, u"host name"_s},
        {u"[::1"_s, u"']'"_s},
        {u"1:2:3"_s, u"IPv6"_s},
        {u"mx.test?cafle=/x.pem"_s, u"cafle"_s},
        {u"mx.test?tls=yes"_s, u"tls=yes"_s},
        {u"mx.test?auth=cram"_s, u"auth=cram"_s},
        {u"pop3s://mx.test?tls=starttls"_s, u"contradicts"_s},
        {u"mx.test?cafile=/x.pem"_s, u"need TLS"_s},
        {u"pop3s://mx.test?pin=md5//AAAA"_s, u"sha256//"_s},
        {u"pop3s://mx.test?cafile="_s, u"file name"_s},
    };
    for (const auto& [line, mentions] : cases) {
        const Result<ServerAddress> parsed = parseServerAddress(line);
        ASSERT_FALSE(parsed.ok()) << line.toStdString();
        EXPECT_TRUE(parsed.error().message.contains(mentions))
            << line.toStdString() << " -> " << parsed.error().message.toStdString();
    }
}

}  // namespace
}  // namespace kervo

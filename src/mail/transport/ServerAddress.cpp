#include "mail/transport/ServerAddress.h"

#include <arpa/inet.h>

#include <QStringList>
#include <QUrl>
#include <optional>

namespace kervo {

namespace {

bool isIpv6(const QString& text) {
    in6_addr parsed{};
    return !text.isEmpty() && inet_pton(AF_INET6, text.toLatin1().constData(), &parsed) == 1;
}

bool isHostNameChar(QChar c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9') ||
           c == u'-' || c == u'.' || c == u'_';
}

std::optional<int> parsePort(const QString& text) {
    if (text.isEmpty() || text.size() > 5) {
        return std::nullopt;
    }
    for (const QChar c : text) {
        if (c < u'0' || c > u'9') {
            return std::nullopt;
        }
    }
    const int port = text.toInt();
    if (port < 1 || port > 65535) {
        return std::nullopt;
    }
    return port;
}

struct Authority {
    QString host;  // IPv6 literals without brackets, other names in ASCII
    std::optional<int> port;
};

Result<Authority> splitAuthority(const QString& authority) {
    QString hostPart = authority;
    QString portPart;
    if (authority.startsWith(u'[')) {
        const qsizetype close = authority.indexOf(u']');
        if (close < 0) {
            return Error{QStringLiteral("the IPv6 address has no closing ']'")};
        }
        hostPart = authority.mid(1, close - 1);
        const QString after = authority.mid(close + 1);
        if (!after.isEmpty()) {
            if (!after.startsWith(u':')) {
                return Error{QStringLiteral("unexpected text after the IPv6 address")};
            }
            portPart = after.mid(1);
            if (portPart.isEmpty()) {
                return Error{QStringLiteral("the port after ':' is missing")};
            }
        }
        if (!isIpv6(hostPart)) {
            return Error{QStringLiteral("'%1' is not an IPv6 address").arg(hostPart)};
        }
    } else if (authority.count(u':') > 1) {
        // An IPv6 literal written without brackets can carry no port.
        if (!isIpv6(authority)) {
            return Error{
                QStringLiteral("'%1' is neither host:port nor an IPv6 address").arg(authority)};
        }
    } else if (const qsizetype colon = authority.indexOf(u':'); colon >= 0) {
        hostPart = authority.left(colon);
        portPart = authority.mid(colon + 1);
        if (portPart.isEmpty()) {
            return Error{QStringLiteral("the port after ':' is missing")};
        }
    }
    if (hostPart.isEmpty()) {
        return Error{QStringLiteral("the host name is missing")};
    }
    Authority out;
    if (!portPart.isEmpty()) {
        out.port = parsePort(portPart);
        if (!out.port) {
            return Error{QStringLiteral("'%1' is not a port number (1-65535)").arg(portPart)};
        }
    }
    if (!hostPart.contains(u':')) {
        bool ascii = true;
        for (const QChar c : hostPart) {
            ascii = ascii && c.unicode() < 0x80;
        }
        QString host = hostPart;
        if (!ascii) {
            host = QString::fromLatin1(QUrl::toAce(hostPart));
            if (host.isEmpty()) {
                return Error{QStringLiteral("'%1' is not a valid host name").arg(hostPart)};
            }
        }
        for (const QChar c : host) {
            if (!isHostNameChar(c)) {
                return Error{QStringLiteral("'%1' is not a valid host name").arg(hostPart)};
            }
        }
        hostPart = host;
    }
    out.host = hostPart;
    return out;
}

// Takes one "key=value" of the address's options into out.
Result<void> applyOption(const QString& key, const QString& value, ServerAddress& out,
                         bool& startTlsAsked) {
    if (key == u"tls") {
        if (value.compare(u"starttls", Qt::CaseInsensitive) != 0) {
            return Error{QStringLiteral("tls=%1 is not known (only tls=starttls)").arg(value)};
        }
        startTlsAsked = true;
    } else if (key == u"cafile") {
        if (value.isEmpty()) {
            return Error{QStringLiteral("cafile= needs a file name")};
        }
        out.caFile = value;
    } else if (key == u"pin") {
        const QStringList keys = value.split(u';');
        for (const QString& one : keys) {
            if (!one.startsWith(u"sha256//") || one.size() <= 8) {
                return Error{QStringLiteral("pin= takes sha256//<base64> keys separated by ';'")};
            }
        }
        out.pin = value;
    } else if (key == u"mailbox") {
        if (out.protocol != MailProtocol::Imap) {
            return Error{
                QStringLiteral("mailbox= is only for IMAP (imap://, imaps://, imap+stls://)")};
        }
        if (value.isEmpty()) {
            return Error{QStringLiteral("mailbox= needs a mailbox name")};
        }
        for (const QChar c : value) {
            if (c.category() == QChar::Other_Control) {
                return Error{QStringLiteral("mailbox= may not contain a control character")};
            }
        }
        out.mailbox = value;
    } else if (key == u"auth") {
        const QString v = value.toLower();
        if (v == u"apop" && out.protocol == MailProtocol::Imap) {
            return Error{QStringLiteral(
                "auth=apop is a POP3 log-on; an IMAP server takes plain, user or any")};
        }
        if (v == u"apop") {
            out.auth = MailAuth::Apop;
        } else if (v == u"plain") {
            out.auth = MailAuth::Plain;
        } else if (v == u"user") {
            out.auth = MailAuth::User;
        } else if (v == u"any") {
            out.auth = MailAuth::Any;
        } else {
            return Error{
                QStringLiteral("auth=%1 is not known (apop, plain, user or any)").arg(value)};
        }
    } else {
        return Error{QStringLiteral("the option '%1' is not known (tls, cafile, pin, auth%2)")
                         .arg(key, out.protocol == MailProtocol::Imap ? QStringLiteral(", mailbox")
                                                                      : QString())};
    }
    return {};
}

}  // namespace

QString ServerAddress::display() const {
    const QString shownHost = host.contains(u':') ? u'[' + host + u']' : host;
    return shownHost + u':' + QString::number(port);
}

QString ServerAddress::form() const {
    const bool imap = protocol == MailProtocol::Imap;
    QString out = protocolName();
    if (tls == MailTls::StartTls) {
        out += imap ? QStringLiteral(" with STARTTLS") : QStringLiteral(" with STLS");
    } else if (tls == MailTls::Implicit) {
        out += QStringLiteral(" over TLS");
    } else {
        out += QStringLiteral(" in plain text");
    }
    out += QStringLiteral(" at ") + display();
    if (imap) {
        out += QStringLiteral(", mailbox \"%1\"").arg(mailbox);
    }
    if (!caFile.isEmpty()) {
        out += QStringLiteral(", CA file \"%1\"").arg(caFile);
    }
    if (!pin.isEmpty()) {
        out += QStringLiteral(", pinned key");
    }
    const char* const logOns[] = {"any", "apop", "plain", "user"};
    return out + QStringLiteral(", log-on ") + QLatin1String(logOns[static_cast<int>(auth)]);
}

QString ServerAddress::protocolName() const {
    return protocol == MailProtocol::Imap ? QStringLiteral("IMAP") : QStringLiteral("POP3");
}

QByteArray ServerAddress::protocols() const {
    return protocol == MailProtocol::Imap ? "imap,imaps" : "pop3,pop3s";
}

QByteArray ServerAddress::url() const {
    const QByteArray base = protocol == MailProtocol::Imap ? "imap" : "pop3";
    const QByteArray scheme = tls == MailTls::Implicit ? base + 's' : base;
    const QByteArray shownHost =
        host.contains(u':') ? '[' + host.toLatin1() + ']' : host.toLatin1();
    return scheme + "://" + shownHost + ':' + QByteArray::number(port) + '/';
}

Result<ServerAddress> parseServerAddress(const QString& line) {
    const QString text = line.trimmed();
    if (text.isEmpty()) {
        return Error{QStringLiteral("the mail server address is empty")};
    }
    for (const QChar c : text) {
        if (c.isSpace() || c.category() == QChar::Other_Control) {
            return Error{
                QStringLiteral("the mail server address contains a blank or control character")};
        }
    }

    // Checked before anything is taken apart: a user name and password written in here must
    // not reach an error text piecemeal, whichever characters the password holds.
    if (text.contains(u'@')) {
        return Error{QStringLiteral(
            "the user name and the password belong on lines 7 and 8, not in the server address "
            "(an '@' in an option is written %40)")};
    }

    ServerAddress out;
    QString rest = text;
    const qsizetype schemeEnd = text.indexOf(u"://");
    if (schemeEnd >= 0) {
        const QString scheme = text.left(schemeEnd).toLower();
        const bool imap = scheme.startsWith(u"imap");
        const QString kind = scheme.mid(4);
        if (!imap && !scheme.startsWith(u"pop3")) {
            return Error{QStringLiteral("the scheme '%1' is not known (pop3, pop3s, pop3+stls, "
                                        "imap, imaps or imap+stls)")
                             .arg(text.left(schemeEnd))};
        }
        out.protocol = imap ? MailProtocol::Imap : MailProtocol::Pop3;
        if (kind.isEmpty()) {
            out.tls = MailTls::None;
        } else if (kind == u"s") {
            out.tls = MailTls::Implicit;
        } else if (kind == u"+stls") {
            out.tls = MailTls::StartTls;
        } else {
            return Error{QStringLiteral("the scheme '%1' is not known (pop3, pop3s, pop3+stls, "
                                        "imap, imaps or imap+stls)")
                             .arg(text.left(schemeEnd))};
        }
        rest = text.mid(schemeEnd + 3);
    }

    if (rest.contains(u'#')) {
        return Error{QStringLiteral("the mail server address may not contain '#'")};
    }
    QString query;
    if (const qsizetype q = rest.indexOf(u'?'); q >= 0) {
        query = rest.mid(q + 1);
        rest = rest.left(q);
    }
    if (rest.endsWith(u'/')) {
        rest.chop(1);
    }
    if (rest.contains(u'/')) {
        return Error{QStringLiteral("the mail server address may not contain a path")};
    }

    const Result<Authority> authority = splitAuthority(rest);
    if (!authority.ok()) {
        return authority.error();
    }
    out.host = authority.value().host;

    bool startTlsAsked = false;
    if (!query.isEmpty()) {
        for (const QString& item : query.split(u'&', Qt::SkipEmptyParts)) {
            const qsizetype eq = item.indexOf(u'=');
            const QString key = (eq < 0 ? item : item.left(eq)).toLower();
            const QString value =
                eq < 0 ? QString() : QUrl::fromPercentEncoding(item.mid(eq + 1).toUtf8());
            if (Result<void> applied = applyOption(key, value, out, startTlsAsked); !applied.ok()) {
                return applied.error();
            }
        }
    }
    if (startTlsAsked) {
        if (out.tls == MailTls::Implicit) {
            return Error{
                QStringLiteral("tls=starttls contradicts %1s://, which is TLS from the start")
                    .arg(out.protocolName().toLower())};
        }
        out.tls = MailTls::StartTls;
    }
    if (out.tls == MailTls::None && (!out.caFile.isEmpty() || !out.pin.isEmpty())) {
        return Error{
            QStringLiteral("cafile= and pin= need TLS (%1s://, %1+stls:// or tls=starttls)")
                .arg(out.protocolName().toLower())};
    }
    if (out.protocol == MailProtocol::Imap) {
        out.port = authority.value().port.value_or(out.tls == MailTls::Implicit ? 993 : 143);
        if (out.mailbox.isEmpty()) {
            out.mailbox = QStringLiteral("INBOX");
        }
        return out;
    }
    out.port = authority.value().port.value_or(out.tls == MailTls::Implicit ? 995 : 110);
    return out;
}

}  // namespace kervo

#include "mail/imap/CurlImapConnection.h"

#include <QFileInfo>

#include "app/TextSafety.h"
#include "mail/imap/ImapSession.h"

namespace kervo {

namespace {

// The log-on method a client line shows: "AUTHENTICATE PLAIN" or "LOGIN"; only the verb and the
// mechanism are looked at, never what follows.
QString methodOf(QByteArrayView line) {
    const QList<QByteArray> words = line.trimmed().toByteArray().split(' ');
    if (words.size() >= 3 && words[1].toUpper() == "AUTHENTICATE") {
        return QStringLiteral("SASL ") + displaySafe(QString::fromLatin1(words[2].left(30)));
    }
    if (words.size() >= 2 && words[1].toUpper() == "LOGIN") {
        return QStringLiteral("LOGIN");
    }
    return {};
}

}  // namespace

Result<void> CurlImapConnection::open(const ServerAddress& address, const QString& user,
                                      const QString& password, const MailTimeouts& timeouts) {
    close();
    method_.clear();
    failedStep_ = OpenStep::LogOn;
    if (address.auth == MailAuth::Apop) {
        return Error{QStringLiteral("auth=apop is a POP3 log-on; the IMAP server %1 takes plain, "
                                    "user or any")
                         .arg(address.display())};
    }
    if (!address.caFile.isEmpty() && !QFileInfo(address.caFile).isReadable()) {
        failedStep_ = OpenStep::Tls;
        return Error{QStringLiteral("the CA file %1 for the mail server %2 cannot be read")
                         .arg(displaySafe(address.caFile), address.display())};
    }
    // The library's own LOGIN cannot be asked for alone: with auth=user it only connects and
    // secures, and LOGIN is sent here.
    const bool ownLogin = address.auth == MailAuth::User;
    CurlLogOn logOn{user.toUtf8(), password.toUtf8(), "AUTH=*"};
    if (address.auth == MailAuth::Plain) {
        logOn.loginOptions = "AUTH=PLAIN";
    }
    QString tried;
    QString lastAnswer;
    const Result<void, CurlFailure> connected = connect(
        address, ownLogin ? CurlLogOn{} : logOn, timeouts,
        [&](QByteArrayView line, bool fromServer) {
            if (fromServer) {
                const QByteArrayView text = line.trimmed();
                lastAnswer =
                    displaySafe(QString::fromUtf8(text.first(qMin<qsizetype>(text.size(), 200))));
            } else if (const QString method = methodOf(line); !method.isEmpty()) {
                tried = method;
            }
        });
    if (connected.ok() && ownLogin) {
        ImapSession session(*this, timeouts,
                            QStringLiteral("the mail server ") + address.display());
        Result<void> loggedOn = session.logIn(logOn.user, logOn.password);
        logOn.password.fill('\0');
        if (loggedOn.ok()) {
            method_ = QStringLiteral("LOGIN");
            return {};
        }
        close();
        if (!session.usable()) {
            return loggedOn;
        }
        return Error{QStringLiteral("the mail server %1 refused the log-on of user \"%2\" (tried "
                                    "LOGIN): %3")
                         .arg(address.display(), displaySafe(user), loggedOn.error().message)};
    }
    logOn.password.fill('\0');
    if (connected.ok()) {
        method_ = tried.isEmpty() ? QStringLiteral("a method of the server's choice") : tried;
        return {};
    }
    const CurlFailure& failure = connected.error();
    close();
    if (failure.code == CURLE_LOGIN_DENIED) {
        return Error{QStringLiteral("the mail server %1 refused the log-on of user \"%2\" (tried "
                                    "%3): %4")
                         .arg(address.display(), displaySafe(user),
                              tried.isEmpty() ? QStringLiteral("no method it offers") : tried,
                              lastAnswer)};
    }
    failedStep_ = stepOf(failure.code);
    return Error{openErrorText(failure, address)};
}

}  // namespace kervo
